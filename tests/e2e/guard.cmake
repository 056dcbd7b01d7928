# The end-to-end tests of what removal refuses (test_guard.py): quenwick.exe
# with the Definitions of guard_definitions/, compiled by quenwick-db, and the
# program that plants registry links. Included from CMakeLists.txt, in its
# scope, after clean.cmake (for e2e_program) and before the manifest is
# written.

set(E2E_GUARD_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/guard_definitions)
file(GLOB E2E_GUARD_SOURCES CONFIGURE_DEPENDS ${E2E_GUARD_SOURCE_DIR}/*.toml)
set(E2E_GUARD_DATABASE ${E2E_DATA_DIR}/guard.db)
file(MAKE_DIRECTORY ${E2E_DATA_DIR})
add_custom_command(
  OUTPUT ${E2E_GUARD_DATABASE}
  COMMAND quenwick-db build ${E2E_GUARD_SOURCE_DIR} -o ${E2E_GUARD_DATABASE}
  DEPENDS ${E2E_GUARD_SOURCES} quenwick-db
  COMMENT "Building the database of the guard end-to-end tests"
  VERBATIM)
add_custom_target(quenwick_e2e_guard_data DEPENDS ${E2E_GUARD_DATABASE})
e2e_variant(guard DATABASE ${E2E_GUARD_DATABASE})
add_dependencies(quenwick_e2e_guard quenwick_e2e_guard_data)

e2e_program(reglink ${CMAKE_CURRENT_SOURCE_DIR}/programs/reglink.c)

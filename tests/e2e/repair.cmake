# The end-to-end test of value repairs (test_repair.py): quenwick.exe with the
# Definitions of repair_definitions/, compiled by quenwick-db. Their fixtures
# (repair_definitions/fixtures/) are planted in Wine prefixes by the test and
# run on the simulated machine by the unit tests. Included from
# CMakeLists.txt, in its scope, before the manifest is written.

set(E2E_REPAIR_SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}/repair_definitions)
file(GLOB E2E_REPAIR_SOURCES CONFIGURE_DEPENDS ${E2E_REPAIR_SOURCE_DIR}/*.toml)
set(E2E_REPAIR_DATABASE ${E2E_DATA_DIR}/repair.db)
file(MAKE_DIRECTORY ${E2E_DATA_DIR})
add_custom_command(
  OUTPUT ${E2E_REPAIR_DATABASE}
  COMMAND quenwick-db build ${E2E_REPAIR_SOURCE_DIR} -o ${E2E_REPAIR_DATABASE}
  DEPENDS ${E2E_REPAIR_SOURCES} quenwick-db
  COMMENT "Building the database of the value repair end-to-end test"
  VERBATIM)
add_custom_target(quenwick_e2e_repair_data DEPENDS ${E2E_REPAIR_DATABASE})
e2e_variant(repair DATABASE ${E2E_REPAIR_DATABASE})
add_dependencies(quenwick_e2e_repair quenwick_e2e_repair_data)

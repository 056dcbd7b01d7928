# The cleaning end-to-end tests (test_clean.py): quenwick.exe with the
# database of clean_database.py, and the small Windows programs that stand in
# for a running rogue application and its uninstallers. Included from
# CMakeLists.txt, in its scope, before the manifest is written.

set(E2E_CLEAN_DATABASE ${E2E_DATA_DIR}/clean.db)
add_custom_command(
  OUTPUT ${E2E_CLEAN_DATABASE}
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/clean_database.py ${E2E_DATA_DIR}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/clean_database.py
  COMMENT "Writing the database of the cleaning end-to-end tests"
  VERBATIM)
add_custom_target(quenwick_e2e_clean_data DEPENDS ${E2E_CLEAN_DATABASE})
e2e_variant(clean DATABASE ${E2E_CLEAN_DATABASE})
add_dependencies(quenwick_e2e_clean quenwick_e2e_clean_data)

# e2e_program(NAME SOURCE [DEFINITION]): a C program, listed in the manifest
# as "program_NAME".
function(e2e_program name source)
  set(target quenwick_e2e_program_${name})
  add_executable(${target} ${source})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME e2e-${name} EXCLUDE_FROM_ALL TRUE)
  if(ARGC GREATER 2)
    target_compile_definitions(${target} PRIVATE ${ARGV2})
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra)
  if(QUENWICK_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # The entry point is wmain; nothing but system DLLs is imported.
  target_link_options(${target} PRIVATE -municode)
  target_link_libraries(${target} PRIVATE user32 quenwick_windows_static)
  add_dependencies(quenwick_e2e ${target})
  set(e2e_manifest
      "${e2e_manifest}${e2e_separator}    \"program_${name}\": \"$<TARGET_FILE:${target}>\""
      PARENT_SCOPE)
  set(e2e_separator ",\n" PARENT_SCOPE)
endfunction()

e2e_program(rogue ${CMAKE_CURRENT_SOURCE_DIR}/programs/rogue.c)
e2e_program(uninstaller ${CMAKE_CURRENT_SOURCE_DIR}/programs/uninstaller.c)
e2e_program(slow_uninstaller ${CMAKE_CURRENT_SOURCE_DIR}/programs/uninstaller.c
            QUENWICK_SLOW_UNINSTALLER)

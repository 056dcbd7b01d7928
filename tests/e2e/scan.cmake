# The scanning end-to-end tests (test_scan.py): quenwick.exe with the
# database of scan_database.py. Included from CMakeLists.txt, in its scope,
# before the manifest is written.

set(E2E_SCAN_DATABASE ${E2E_DATA_DIR}/scan.db)
add_custom_command(
  OUTPUT ${E2E_SCAN_DATABASE} ${E2E_DATA_DIR}/scan.json
  COMMAND Python3::Interpreter ${CMAKE_CURRENT_SOURCE_DIR}/scan_database.py ${E2E_DATA_DIR}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/scan_database.py
  COMMENT "Writing the database of the scanning end-to-end tests"
  VERBATIM)
add_custom_target(quenwick_e2e_scan_data DEPENDS ${E2E_SCAN_DATABASE})
e2e_variant(scan DATABASE ${E2E_SCAN_DATABASE})
add_dependencies(quenwick_e2e_scan quenwick_e2e_scan_data)

# The end-to-end tests of what removal refuses (test_guard.py): quenwick.exe
# with the Definitions of guard_definitions/, compiled by quenwick-db, and the
# program that plants registry links. Included from CMakeLists.txt, in its
# scope, after clean.cmake (for e2e_program) and before the manifest is
# written.

e2e_definitions_variant(guard ${CMAKE_CURRENT_SOURCE_DIR}/guard_definitions "the guard end-to-end tests")

e2e_program(reglink ${CMAKE_CURRENT_SOURCE_DIR}/programs/reglink.c)

# The end-to-end test of value repairs (test_repair.py): quenwick.exe with the
# Definitions of repair_definitions/, compiled by quenwick-db. Their fixtures
# (repair_definitions/fixtures/) are planted in Wine prefixes by the test and
# run on the simulated machine by the unit tests. Included from
# CMakeLists.txt, in its scope, before the manifest is written.

e2e_definitions_variant(repair ${CMAKE_CURRENT_SOURCE_DIR}/repair_definitions "the value repair end-to-end test")

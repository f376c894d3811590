# tolm_add_test(NAME SOURCES src... [LIBS lib...] [FIXTURES fixture...])
# A GoogleTest program run under Wine; each test case becomes one ctest test. Every one requires the
# wine_desktop fixture besides the FIXTURES named.
function(tolm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE testkit ${ARG_LIBS})
  # The fixture names form one property value. gtest_discover_tests expands the properties three times
  # before they reach set_tests_properties, so each separator carries three levels of escaping; with
  # fewer, every name after the first became a property of its own.
  set(fixtures wine_desktop ${ARG_FIXTURES})
  string(REPLACE ";" "\\\\\\\\\\\\\\\\;" fixtures "${fixtures}")
  set(properties TIMEOUT 180 FIXTURES_REQUIRED "${fixtures}")
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ${properties})
endfunction()

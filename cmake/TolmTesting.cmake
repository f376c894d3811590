# tolm_add_test(NAME SOURCES src... [LIBS lib...] [FIXTURES fixture...])
# A GoogleTest program run under Wine; each test case becomes one ctest test.
function(tolm_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;FIXTURES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE testkit ${ARG_LIBS})
  set(properties TIMEOUT 180)
  if(ARG_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin
    PROPERTIES ${properties})
endfunction()

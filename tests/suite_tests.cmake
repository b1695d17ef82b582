# Run by ctest (through the TEST_INCLUDE_FILES of the build folder): adds one test per GoogleTest
# suite of a test executable, run as `EXECUTABLE --gtest_filter=SUITE.*`. A suite's cases run in
# one process, so each start of a sanitizer-built executable serves a whole suite.
#
# Input variables: QZ_SUITE_BINARY (the executable), QZ_SUITE_LIST (the file the tests are written
# to, rewritten when the executable is newer), QZ_SUITE_ENVIRONMENT (the tests' environment).
if(NOT EXISTS "${QZ_SUITE_BINARY}")
  get_filename_component(name "${QZ_SUITE_BINARY}" NAME)
  add_test("${name}_NOT_BUILT" "${QZ_SUITE_BINARY}")
  return()
endif()
if(NOT EXISTS "${QZ_SUITE_LIST}" OR "${QZ_SUITE_BINARY}" IS_NEWER_THAN "${QZ_SUITE_LIST}")
  execute_process(COMMAND "${QZ_SUITE_BINARY}" --gtest_list_tests OUTPUT_VARIABLE listing
                  ERROR_VARIABLE errors RESULT_VARIABLE result TIMEOUT 60)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "Cannot list the tests of ${QZ_SUITE_BINARY} (${result}):\n${listing}${errors}")
  endif()
  # Suite lines start in the first column and end the name with a dot ("Suite." or
  # "Instance/Suite/0.  # TypeParam = ..."); case lines are indented.
  string(REPLACE ";" "\\;" listing "${listing}")
  string(REPLACE "\n" ";" lines "${listing}")
  set(tests "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^([^ .#]+)\\.( |$)")
      set(suite "${CMAKE_MATCH_1}")
      string(APPEND tests "add_test([==[${suite}]==] [==[${QZ_SUITE_BINARY}]==] [==[--gtest_filter=${suite}.*]==])\n"
                          "set_tests_properties([==[${suite}]==] PROPERTIES ENVIRONMENT [==[${QZ_SUITE_ENVIRONMENT}]==])\n")
    endif()
  endforeach()
  file(WRITE "${QZ_SUITE_LIST}" "${tests}")
endif()
include("${QZ_SUITE_LIST}")

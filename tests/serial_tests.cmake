# Run by ctest after the tests are listed (TEST_INCLUDE_FILES of the build folder): tests that
# measure real time (sound heard in time with pictures, frames paced by a clock, input events
# arriving on time) run alone, so that a parallel ctest on a loaded machine does not starve the
# threads whose timing they check.
set_tests_properties(VideoE2E.NativeFilmIsHeardInTimeWithItsPictures VideoLayerE2E.LayerCommandsAndRefusals
                     InputScriptRun PROPERTIES RUN_SERIAL TRUE)

# Run by ctest after the tests (CTEST_CUSTOM_POST_TEST, written by tests/CMakeLists.txt): names
# every test that was skipped, with the reason it gave, so that "100% tests passed" never hides
# one. Reads RECORDS/skipped.txt (RECORDS defined on the command line), a line per skipped test
# that the tests wrote during this run. Always succeeds; it only reports, on standard output, the
# one stream of it that ctest shows.
if(NOT EXISTS "${RECORDS}/skipped.txt")
  return()
endif()
file(STRINGS "${RECORDS}/skipped.txt" skipped)
list(SORT skipped)
list(LENGTH skipped count)
if(count EQUAL 1)
  set(heading "1 test was skipped (counted above as passed):")
else()
  set(heading "${count} tests were skipped (counted above as passed):")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "${heading}")
foreach(line IN LISTS skipped)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E echo "  ${line}")
endforeach()

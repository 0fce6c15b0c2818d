# Runs COMMAND (its arguments separated by '|') and writes what it prints to OUTPUT; fails when
# the command fails. For build steps whose tool writes to standard output only.
string(REPLACE "|" ";" command "${COMMAND}")
execute_process(COMMAND ${command} OUTPUT_FILE "${OUTPUT}.part" RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE "${OUTPUT}.part")
  message(FATAL_ERROR "${command} failed: ${status}")
endif()
file(RENAME "${OUTPUT}.part" "${OUTPUT}")

# Runs vpi-record-display-config: records the default machine, replays the
# recording and records it again, expecting the same file; then checks that an
# unusable file is reported once and makes the recorder fail.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(record output)
  execute_process(COMMAND ${RECORDER} -o ${output}
    RESULT_VARIABLE result ERROR_VARIABLE errors)
  set(record_result ${result} PARENT_SCOPE)
  set(record_errors "${errors}" PARENT_SCOPE)
endfunction()

unset(ENV{VPI_DISPLAY_CONFIG})
record(${WORK_DIR}/first.json)
if(NOT record_result EQUAL 0)
  message(FATAL_ERROR "recording the default failed (${record_result}): ${record_errors}")
endif()

set(ENV{VPI_DISPLAY_CONFIG} ${WORK_DIR}/first.json)
record(${WORK_DIR}/second.json)
if(NOT record_result EQUAL 0)
  message(FATAL_ERROR "recording the replay failed (${record_result}): ${record_errors}")
endif()
file(READ ${WORK_DIR}/first.json first)
file(READ ${WORK_DIR}/second.json second)
if(NOT first STREQUAL second)
  message(FATAL_ERROR "the replayed recording differs from the first one")
endif()
string(FIND "${first}" "DELL U2719D" found)
if(found EQUAL -1)
  message(FATAL_ERROR "the recording lacks the monitor's name")
endif()

file(WRITE ${WORK_DIR}/broken.json "{\"format\": ")
set(ENV{VPI_DISPLAY_CONFIG} ${WORK_DIR}/broken.json)
record(${WORK_DIR}/third.json)
if(record_result EQUAL 0)
  message(FATAL_ERROR "recording from an unusable file succeeded")
endif()
string(REGEX MATCHALL "cannot use VPI_DISPLAY_CONFIG file \"[^\"]*broken.json\"" reports
  "${record_errors}")
list(LENGTH reports count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one report of the unusable file, got:\n${record_errors}")
endif()

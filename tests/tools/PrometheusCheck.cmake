# Runs videoports --prometheus -o FILE and checks FILE with promtool check
# metrics (its parser, then its linter): for the built-in sample, for it with
# monitor names that need escaping, and for a configuration that cannot be
# read, which exits with 1 and still writes metrics saying so.
if(NOT PROMTOOL)
  message(FATAL_ERROR "promtool not found: run scripts/setup.sh (package prometheus)")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# check(NAME CONFIG EXPECTED_STATUS): the metrics of the configuration CONFIG
# (empty: the built-in sample) pass promtool; their text is left in `metrics`.
function(check name config expected_status)
  if(config)
    set(ENV{VPI_DISPLAY_CONFIG} ${config})
  else()
    unset(ENV{VPI_DISPLAY_CONFIG})
  endif()
  set(file ${WORK_DIR}/${name}.prom)
  execute_process(COMMAND ${VIDEOPORTS} --prometheus -o ${file}
    RESULT_VARIABLE status ERROR_VARIABLE errors)
  if(NOT status EQUAL expected_status)
    message(FATAL_ERROR "${name}: videoports exited with ${status}, not ${expected_status}: ${errors}")
  endif()
  execute_process(COMMAND ${PROMTOOL} check metrics INPUT_FILE ${file}
    RESULT_VARIABLE status OUTPUT_VARIABLE found ERROR_VARIABLE found)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name}: promtool check metrics failed (${status}):\n${found}")
  endif()
  file(READ ${file} text)
  set(metrics "${text}" PARENT_SCOPE)
endfunction()

check(built-in "" 0)
# One info series per connected monitor, and the descriptive labels nowhere
# else.
string(REGEX MATCHALL "\nvideoports_monitor_info{" infos "${metrics}")
list(LENGTH infos count)
string(REGEX MATCHALL "\nvideoports_[a-z_]+{key=\"[^\"]*\",(connector|manufacturer)" described
  "${metrics}")
list(LENGTH described labelled)
if(NOT count EQUAL 2 OR NOT labelled EQUAL 6)
  message(FATAL_ERROR "not one info series per monitor and port (${count}, ${labelled}):\n${metrics}")
endif()
string(FIND "${metrics}" "videoports_current_refresh_rate_hertz{key=\"\\\\\\\\?\\\\ROOT" found)
if(found EQUAL -1)
  message(FATAL_ERROR "no refresh rate with an escaped key in:\n${metrics}")
endif()

# A quote, backslashes, a line feed and characters beyond ASCII, as JSON
# escapes in the recording.
file(READ ${BUILT_IN} recording)
string(REPLACE [["monitorFriendlyDeviceName":"DELL U2719D"]]
  [["monitorFriendlyDeviceName":"Say \"hi\" \\\\ C:\\ two\nlines \u00c9cran \ud83d\udda5"]]
  recording "${recording}")
file(WRITE ${WORK_DIR}/escaped.json "${recording}")
check(escaped ${WORK_DIR}/escaped.json 0)
string(FIND "${metrics}" [[name="Say \"hi\" \\\\ C:\\ two\nlines ]] found)
if(found EQUAL -1)
  message(FATAL_ERROR "the monitor's name is not escaped as expected in:\n${metrics}")
endif()

file(WRITE ${WORK_DIR}/broken.json "{")
check(broken ${WORK_DIR}/broken.json 1)
string(FIND "${metrics}" "\nvideoports_read_success 0\n" found)
if(found EQUAL -1)
  message(FATAL_ERROR "an unread configuration is not told in:\n${metrics}")
endif()

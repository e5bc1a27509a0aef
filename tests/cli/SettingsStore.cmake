# Runs `formulist2 settings` over a store prepared as STORE says and checks what it reports and
# what it leaves in the store:
#   cmake -DFORMULIST2=<program> -DSTORE=damaged|folder -P SettingsStore.cmake
# The store is the one under $XDG_CONFIG_HOME, which the test points at a folder of its own.
if(NOT DEFINED ENV{XDG_CONFIG_HOME} OR "$ENV{XDG_CONFIG_HOME}" STREQUAL "")
  message(FATAL_ERROR "XDG_CONFIG_HOME is not set")
endif()
set(store "$ENV{XDG_CONFIG_HOME}/formulist2/registry")
file(REMOVE_RECURSE "$ENV{XDG_CONFIG_HOME}/formulist2")
string(ASCII 9 tab)

function(expect_in text part what)
  string(FIND "${text}" "${part}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${what} does not contain \"${part}\":\n${text}")
  endif()
endfunction()

if(STORE STREQUAL "damaged")
  # A record, a line of another program and a value whose bytes are damaged.
  set(foreign "not a record\nV${tab}HKEY_CURRENT_USER\\Other${tab}Bad${tab}1${tab}zz\n")
  file(WRITE "${store}" "K${tab}HKEY_CURRENT_USER\\Other\n${foreign}")
  execute_process(COMMAND "${FORMULIST2}" settings
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "formulist2 settings exited with ${code}:\n${out}${err}")
  endif()
  expect_in("${out}" "2 lines of the store could not be read and are kept as they stand" "The output")
  # Opening this terminal's key wrote the store; the two lines are still there as they were.
  file(READ "${store}" after)
  expect_in("${after}" "PASetting" "The store")
  expect_in("${after}" "${foreign}" "The store")
elseif(STORE STREQUAL "folder")
  file(MAKE_DIRECTORY "${store}")
  execute_process(COMMAND "${FORMULIST2}" settings
                  RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT code EQUAL 2)
    message(FATAL_ERROR "formulist2 settings exited with ${code}, not 2:\n${out}${err}")
  endif()
  expect_in("${err}" "formulist2: " "The error output")
  expect_in("${err}" "${store} cannot be read" "The error output")
  if(NOT IS_DIRECTORY "${store}")
    message(FATAL_ERROR "${store} was replaced")
  endif()
else()
  message(FATAL_ERROR "STORE must be damaged or folder, not '${STORE}'")
endif()

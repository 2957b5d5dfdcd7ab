# Runs the README's application on the README's plugin library and compares
# what it prints with the README's listing: the whole standard output, an
# empty standard error stream, exit status 0.
execute_process(COMMAND ${APP} ${PLUGIN}
  OUTPUT_VARIABLE output
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)

set(failures "")
if(NOT status STREQUAL "0")
  string(APPEND failures "exit status: ${status}\n")
endif()
if(NOT output STREQUAL expected)
  string(APPEND failures "standard output:\n${output}\nexpected:\n${expected}\n")
endif()
if(NOT errors STREQUAL "")
  string(APPEND failures "standard error:\n${errors}\n")
endif()
if(failures)
  message(FATAL_ERROR "The README's example does not behave as documented\n${failures}")
endif()

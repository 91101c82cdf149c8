# run_checked(<output variable> <command> <args>...): runs a command and
# returns its standard output; when the command fails, shows everything it
# printed and fails the test.
function(run_checked output_variable)
  list(JOIN ARGN " " command)
  message(STATUS "$ ${command}")
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${out}${err}\ncommand failed with status ${status}")
  endif()
  set(${output_variable} "${out}" PARENT_SCOPE)
endfunction()

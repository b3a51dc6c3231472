# Runs two programs on one script in one folder and fails unless both
# print the same on standard output and on standard error:
#
#   cmake -DWORKDIR=dir -DFIRST='prog;args' -DSECOND='prog;args' -P compare_runs.cmake
cmake_minimum_required(VERSION 3.20)

foreach(which FIRST SECOND)
  execute_process(COMMAND ${${which}} WORKING_DIRECTORY ${WORKDIR}
    OUTPUT_VARIABLE out_${which} ERROR_VARIABLE err_${which} RESULT_VARIABLE rc_${which})
  if(NOT rc_${which} EQUAL 0)
    message(FATAL_ERROR "${${which}} exited with ${rc_${which}}:\n${err_${which}}")
  endif()
endforeach()
if(NOT out_FIRST STREQUAL out_SECOND)
  message(FATAL_ERROR "outlets differ\n--- ${FIRST}\n${out_FIRST}\n--- ${SECOND}\n${out_SECOND}")
endif()
if(NOT err_FIRST STREQUAL err_SECOND)
  message(FATAL_ERROR "console lines differ\n--- ${FIRST}\n${err_FIRST}\n--- ${SECOND}\n${err_SECOND}")
endif()
string(REGEX MATCHALL "\n" lines "${out_FIRST}")
list(LENGTH lines n)
message(STATUS "the same ${n} outlet messages")

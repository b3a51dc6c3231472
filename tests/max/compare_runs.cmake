# Runs two programs on one script in one folder and fails unless both
# print the same on standard output and on standard error:
#
#   cmake -DWORKDIR=dir -DFIRST='prog;args' -DSECOND='prog;args' [-DMAX_SIDE=SECOND]
#         -P compare_runs.cmake
#
# MAX_SIDE names the run through the Max adapter.  Max's lists start with a
# number: the adapter sends a list that starts with a symbol as that
# symbol's message, unless the symbol is one of Max's message keywords or
# empty (host/max/outlets.cpp).  So the other run's "BOX N: list NAME ATOMS..."
# is compared as the "BOX N: NAME ATOMS..." that Max receives.
cmake_minimum_required(VERSION 3.20)

function(as_max_receives var)
  set(number "[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?|-?inf|-?nan")
  set(rest "${${var}}")
  set(out "")
  while(NOT rest STREQUAL "")
    string(FIND "${rest}" "\n" nl)
    if(nl EQUAL -1)
      set(line "${rest}")
      set(rest "")
      set(eol "")
    else()
      string(SUBSTRING "${rest}" 0 ${nl} line)
      math(EXPR next "${nl} + 1")
      string(SUBSTRING "${rest}" ${next} -1 rest)
      set(eol "\n")
    endif()
    # A symbol is printed bare, or quoted when it must be.
    if(line MATCHES "^([^ ]+ [0-9]+: )list (\"([^\"\\\\]|\\\\.)*\"|[^ ]+)(.*)$")
      set(box "${CMAKE_MATCH_1}")
      set(head "${CMAKE_MATCH_2}")
      set(atoms "${CMAKE_MATCH_4}")
      if(NOT head MATCHES "^(bang|int|float|list|symbol|set|\"\"|${number})$")
        set(line "${box}${head}${atoms}")
      endif()
    endif()
    string(APPEND out "${line}${eol}")
  endwhile()
  set(${var} "${out}" PARENT_SCOPE)
endfunction()

foreach(which FIRST SECOND)
  execute_process(COMMAND ${${which}} WORKING_DIRECTORY ${WORKDIR}
    OUTPUT_VARIABLE out_${which} ERROR_VARIABLE err_${which} RESULT_VARIABLE rc_${which})
  if(NOT rc_${which} EQUAL 0)
    message(FATAL_ERROR "${${which}} exited with ${rc_${which}}:\n${err_${which}}")
  endif()
endforeach()
if(MAX_SIDE STREQUAL "SECOND")
  as_max_receives(out_FIRST)
elseif(MAX_SIDE STREQUAL "FIRST")
  as_max_receives(out_SECOND)
elseif(DEFINED MAX_SIDE)
  message(FATAL_ERROR "MAX_SIDE is FIRST or SECOND, not ${MAX_SIDE}")
endif()
if(NOT out_FIRST STREQUAL out_SECOND)
  message(FATAL_ERROR "outlets differ\n--- ${FIRST}\n${out_FIRST}\n--- ${SECOND}\n${out_SECOND}")
endif()
if(NOT err_FIRST STREQUAL err_SECOND)
  message(FATAL_ERROR "console lines differ\n--- ${FIRST}\n${err_FIRST}\n--- ${SECOND}\n${err_SECOND}")
endif()
string(REGEX MATCHALL "\n" lines "${out_FIRST}")
list(LENGTH lines n)
message(STATUS "the same ${n} outlet messages")

# What the checks of the external hosts' builds (pd/, max/) share, included
# by their check scripts, which define fail(MESSAGE) first.
#
# renamed_names(NAMES OUT): the Max API names that api_names.h renames.
# check_objects_renamed(NAMES OBJECTS NM WHAT [PREFIX]): fails when an
# object of the plug-in (OBJECTS, separated by |) refers to one of them
# unrenamed; the call would bind to WHAT's own function of that name.
# PREFIX is what the object format puts before a C name (Mach-O: _).

function(renamed_names names out)
  file(STRINGS ${names} defines REGEX "^#define [A-Za-z_0-9]+ MAXAPI_RENAMED")
  set(found "")
  foreach(line IN LISTS defines)
    string(REGEX REPLACE "^#define ([A-Za-z_0-9]+) .*" "\\1" name "${line}")
    list(APPEND found "${name}")
  endforeach()
  if(NOT found)
    fail("no names read from ${names}")
  endif()
  set(${out} "${found}" PARENT_SCOPE)
endfunction()

function(check_objects_renamed names objects nm what)
  renamed_names(${names} max_names)
  string(REPLACE "|" ";" objects "${objects}")
  foreach(object IN LISTS objects)
    execute_process(COMMAND ${nm} -u ${object} OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      fail("${nm} -u ${object} failed: ${err}")
    endif()
    string(REPLACE "\n" ";" lines "${text}")
    foreach(line IN LISTS lines)
      if(line MATCHES "${ARGV4}([^ \t]+)$" AND CMAKE_MATCH_1 IN_LIST max_names)
        fail("${object} calls ${CMAKE_MATCH_1} unrenamed: the call would bind to ${what}'s own function of that name")
      endif()
    endforeach()
  endforeach()
endfunction()

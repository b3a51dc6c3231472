# Checks a freshly linked Pd external, and removes it when a check fails, so
# that Pd never loads it:
# - it exports SETUP and nothing else (no Max name, no adapter function:
#   Pd binds externals globally, and falls back to a symbol named "setup");
# - no object of the plug-in refers to a Max API name unrenamed, which
#   would bind to the pd binary's function of that name;
# - every renamed Max name the plug-in calls is defined by the adapter.
#
#   cmake -DMODULE=... -DSETUP=... -DNAMES=api_names.h -DPREFIX=pdmax_
#         -DOBJECTS='a.o|b.o' -DNM=nm -P check_external.cmake
cmake_minimum_required(VERSION 3.20)

function(fail message)
  file(REMOVE ${MODULE})
  message(FATAL_ERROR "${MODULE}: ${message}")
endfunction()

# Symbol names from nm's output, one per line: the last word of each line.
function(nm_names out)
  execute_process(COMMAND ${NM} ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("nm ${ARGN} failed: ${err}")
  endif()
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(names "")
  foreach(line IN LISTS lines)
    if(line MATCHES "([^ \t]+)$")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/../hostcommon/check_renamed.cmake)
renamed_names(${NAMES} max_names)

# Symbols the linker itself defines in every shared object.
set(linker_symbols _init _fini _edata _end __bss_start)

nm_names(exported -D --defined-only ${MODULE})
foreach(name IN LISTS exported)
  if(name STREQUAL SETUP OR name IN_LIST linker_symbols)
    continue()
  endif()
  if(name IN_LIST max_names)
    fail("exports the Max name ${name} unrenamed")
  endif()
  fail("exports ${name}; only ${SETUP} may be exported")
endforeach()
if(NOT SETUP IN_LIST exported)
  fail("does not export ${SETUP}")
endif()

check_objects_renamed(${NAMES} "${OBJECTS}" ${NM} "the pd process")

nm_names(imported -D -u ${MODULE})
foreach(name IN LISTS imported)
  if(name MATCHES "^${PREFIX}")
    fail("the adapter lacks ${name}")
  endif()
endforeach()

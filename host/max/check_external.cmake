# Checks a freshly linked external for Windows, Max's or Pd's, and removes
# it when a check fails, so that no package is ever made of it:
# - it exports EXPORT (ext_main, the default) and nothing else;
# - it imports only from the host's DLLs (HOST_DLLS: MaxAPI.dll and
#   MaxAudio.dll, the default, or pd.dll) and the system's DLLs
#   (KERNEL32.dll, the C runtime: msvcrt.dll or the UCRT), so it needs no
#   DLL that the host does not ship;
# - it never imports DllMain (the SDK's MaxAudio.lib exports one);
# - every name it imports from a host DLL is one the host has: exported by
#   that DLL's import library (IMPORT_LIBS), or named in HOST_NAMES, a file
#   of one name per line (Pd: what its headers declare EXTERN);
# - no object of the plug-in refers to a Max API name unrenamed, which would
#   bind to the host's function of that name, of another prototype.
#
#   cmake -DMODULE=x.mxe64 -DNAMES=api_names.h
#         -DOBJECTS='a.obj|b.obj' -DIMPORT_LIBS='MaxAPI.lib|MaxAudio.lib'
#         -DNM=nm -DOBJDUMP=objdump -P check_external.cmake
#   cmake -DMODULE=x.dll -DEXPORT=x_setup -DHOST=Pd -DHOST_DLLS=pd.dll
#         -DHOST_NAMES=pd-names.txt -DNAMES=... -DOBJECTS=... -DNM=... -DOBJDUMP=...
#         -P check_external.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT EXPORT)
  set(EXPORT ext_main)
endif()
if(NOT HOST)
  set(HOST Max)
endif()
if(NOT HOST_DLLS)
  set(HOST_DLLS "MaxAPI.dll|MaxAudio.dll")
endif()
string(REPLACE "|" ";" host_dlls "${HOST_DLLS}")

function(fail message)
  file(REMOVE ${MODULE})
  message(FATAL_ERROR "${MODULE}: ${message}")
endfunction()

function(run out)
  execute_process(COMMAND ${ARGN} OUTPUT_VARIABLE text RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    fail("${ARGN} failed: ${err}")
  endif()
  string(REGEX REPLACE "\n$" "" text "${text}")
  string(REPLACE ";" "\\;" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(${out} "${lines}" PARENT_SCOPE)
endfunction()

# The module's export and import tables, from objdump's private headers.
run(lines ${OBJDUMP} -p ${MODULE})
set(exports "")
set(dlls "")
set(dll "")
set(section "")
foreach(line IN LISTS lines)
  if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
    set(section exports)
    continue()
  elseif(line MATCHES "^The Import Tables")
    set(section imports)
    continue()
  elseif(line MATCHES "^The Function Table" OR line MATCHES "^PE File Base Relocations")
    break()  # objdump prints the import and export tables first; tens of thousands of lines follow
  elseif(line MATCHES "^The ")
    set(section "")
  endif()
  if(section STREQUAL "exports" AND line MATCHES "^[ \t]*\\[ *[0-9]+\\] ([^ \t]+)$")
    list(APPEND exports "${CMAKE_MATCH_1}")
  elseif(section STREQUAL "imports")
    if(line MATCHES "DLL Name: ([^ \t]+)")
      set(dll "${CMAKE_MATCH_1}")
      list(APPEND dlls "${dll}")
      set(imports_${dll} "")
    elseif(dll AND line MATCHES "^[ \t]+[0-9a-f]+[ \t]+[0-9]+[ \t]+([^ \t]+)$")
      list(APPEND imports_${dll} "${CMAKE_MATCH_1}")
    endif()
  endif()
endforeach()

if(NOT exports STREQUAL EXPORT)
  fail("exports [${exports}]; it must export ${EXPORT} and nothing else")
endif()

foreach(dll IN LISTS dlls)
  string(TOLOWER "${dll}" lower)
  if(dll IN_LIST host_dlls)
    continue()
  endif()
  if(lower STREQUAL "kernel32.dll" OR lower STREQUAL "msvcrt.dll" OR lower MATCHES "^api-ms-win-crt-.*\\.dll$"
     OR lower STREQUAL "ucrtbase.dll")
    continue()
  endif()
  fail("imports from ${dll}, which ${HOST} does not ship")
endforeach()

foreach(dll IN LISTS dlls)
  if("DllMain" IN_LIST imports_${dll})
    fail("imports DllMain from ${dll}: the external needs its own")
  endif()
endforeach()

# Names each import library exports: nm lists its stubs as text symbols.
string(REPLACE "|" ";" import_libs "${IMPORT_LIBS}")
foreach(lib IN LISTS import_libs)
  get_filename_component(base ${lib} NAME_WE)
  run(lines ${NM} ${lib})
  set(provided "")
  foreach(line IN LISTS lines)
    if(line MATCHES " T ([^ \t]+)$")
      list(APPEND provided "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  foreach(name IN LISTS imports_${base}.dll)
    if(NOT name IN_LIST provided)
      fail("imports ${name} from ${base}.dll, which ${lib} does not export")
    endif()
  endforeach()
endforeach()
if(HOST_NAMES)
  file(STRINGS ${HOST_NAMES} declared)
  foreach(dll IN LISTS host_dlls)
    foreach(name IN LISTS imports_${dll})
      if(NOT name IN_LIST declared)
        fail("imports ${name} from ${dll}, which ${HOST}'s headers do not declare")
      endif()
    endforeach()
  endforeach()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../hostcommon/check_renamed.cmake)
check_objects_renamed(${NAMES} "${OBJECTS}" ${NM} ${HOST})

list(JOIN dlls ", " dll_text)
message(STATUS "${MODULE}: exports ${EXPORT}; imports from ${dll_text}")

# Checks the objects of a plug-in linked into a macOS external: none refers
# to a Max API name unrenamed (Mach-O names carry a leading underscore),
# which would bind to the host's own function of that name (HOST: Max, the
# default, or Pd).  Removes the external when one does.
#
#   cmake -DMODULE=x -DNAMES=api_names.h -DOBJECTS='a.o|b.a' -DNM=llvm-nm [-DHOST=Pd]
#         -P check_objects.cmake
cmake_minimum_required(VERSION 3.20)

function(fail message)
  file(REMOVE ${MODULE})
  message(FATAL_ERROR "${MODULE}: ${message}")
endfunction()

include(${CMAKE_CURRENT_LIST_DIR}/../../hostcommon/check_renamed.cmake)
if(NOT HOST)
  set(HOST Max)
endif()
check_objects_renamed(${NAMES} "${OBJECTS}" ${NM} ${HOST} _)

# Each object's reference is kept once, in docs/reference/OBJECT.json;
# reference.py makes its other forms from it at build time.  It runs on
# the building machine (python3), never as a program of the build, which a
# cross build could not run.
#
#   maxhost_reference(OUTPUTS... KIND OUTPUT [KIND OUTPUT]...)
#
# runs reference.py once for each KIND: help (OUTPUT the C++ include of
# "maxhost help OBJECT"), maxref or messages (OUTPUT a folder getting
# OBJECT.maxref.xml or OBJECT.messages).  OUTPUTS lists every file made.
include_guard(DIRECTORY)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(MAXHOST_REFERENCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MAXHOST_REFERENCE_SCRIPT ${MAXHOST_REFERENCE_DIR}/reference.py)
# maxhost's help lists the objects in this order.
set(MAXHOST_REFERENCE_FILES ${MAXHOST_REFERENCE_DIR}/tessel~.json ${MAXHOST_REFERENCE_DIR}/brindle~.json)

function(maxhost_reference)
  cmake_parse_arguments(PARSE_ARGV 0 arg "" "" "OUTPUTS;help;maxref;messages")
  set(commands "")
  foreach(kind help maxref messages)
    if(arg_${kind})
      list(APPEND commands COMMAND Python3::Interpreter ${MAXHOST_REFERENCE_SCRIPT} ${kind} ${arg_${kind}}
        ${MAXHOST_REFERENCE_FILES})
    endif()
  endforeach()
  add_custom_command(OUTPUT ${arg_OUTPUTS} ${commands}
    DEPENDS ${MAXHOST_REFERENCE_SCRIPT} ${MAXHOST_REFERENCE_FILES}
    COMMENT "Making the objects' reference"
    VERBATIM)
endfunction()

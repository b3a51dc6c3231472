# Each object's reference is kept once, in docs/reference/OBJECT.json;
# reference.py makes its other forms from it at build time.  It runs on
# the building machine (python3), never as a program of the build, which a
# cross build could not run.
#
#   maxhost_reference(KIND OUTPUT [OUTPUTS...])
#
# KIND is help (OUTPUT the C++ include of "maxhost help OBJECT"), maxref or
# messages (OUTPUT a folder getting OBJECT.maxref.xml or OBJECT.messages,
# listed as OUTPUTS).
include_guard(GLOBAL)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

set(MAXHOST_REFERENCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MAXHOST_REFERENCE_SCRIPT ${MAXHOST_REFERENCE_DIR}/reference.py)
# maxhost's help lists the objects in this order.
set(MAXHOST_REFERENCE_FILES ${MAXHOST_REFERENCE_DIR}/tessel~.json ${MAXHOST_REFERENCE_DIR}/brindle~.json)

function(maxhost_reference kind output)
  set(outputs ${ARGN})
  if(NOT outputs)
    set(outputs ${output})
  endif()
  add_custom_command(OUTPUT ${outputs}
    COMMAND Python3::Interpreter ${MAXHOST_REFERENCE_SCRIPT} ${kind} ${output} ${MAXHOST_REFERENCE_FILES}
    DEPENDS ${MAXHOST_REFERENCE_SCRIPT} ${MAXHOST_REFERENCE_FILES}
    COMMENT "Making the objects' reference: ${kind}"
    VERBATIM)
endfunction()

# Checks the objects of tessel_bank for what the byte comparisons cannot
# catch on a machine that lacks a path:
# - no fused multiply-add instruction anywhere (it would change results;
#   on ARM, compilers fuse a * b + c unless told not to);
# - each wider path really built for its instruction set;
# - no weak function in a wider path's object: an inline function emitted
#   there could be the copy the linker keeps for every caller, and run
#   instructions the processor lacks.  (Weak data, such as the exception
#   personality reference of a debug build, holds no instructions.)
# Arguments: -DOBJECTS=a.o|b.o|... -DOBJDUMP=... -DNM=... -DPROCESSOR=the
# build's CMAKE_SYSTEM_PROCESSOR
string(REPLACE "|" ";" objects "${OBJECTS}")
set(checked 0)
foreach(object IN LISTS objects)
  execute_process(COMMAND ${OBJDUMP} -d --no-show-raw-insn ${object}
                  OUTPUT_VARIABLE code RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${object}")
  endif()
  # x86's vfmadd231ps and the like; ARM's fmadd, fnmsub, fmla, fmls.
  if(code MATCHES "vfn?m(add|sub)[0-9]|\t(fn?m(add|sub)|fml[as])[\t ]")
    message(SEND_ERROR "${object}: fused multiply-add instruction: ${CMAKE_MATCH_0}")
  endif()
  # A path of another architecture compiles to no path code here.
  if((object MATCHES "tessel_path_avx" AND NOT PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86)$") OR
     (object MATCHES "tessel_path_neon" AND NOT PROCESSOR MATCHES "^(aarch64|arm64|ARM64)$"))
    continue()
  endif()
  if(object MATCHES "tessel_path_(avx2|avx512|neon)")
    set(mark %ymm)
    if(CMAKE_MATCH_1 STREQUAL "avx512")
      set(mark %zmm)
    elseif(CMAKE_MATCH_1 STREQUAL "neon")
      # Every ARM build has NEON: what shows the path's own code is its
      # truncation, which the portable code does not use.
      set(mark "\tfrintz\t")
    endif()
    if(NOT code MATCHES "${mark}")
      message(SEND_ERROR "${object}: no ${mark} in its code; built without its instruction set?")
    endif()
    execute_process(COMMAND ${NM} --defined-only ${object} OUTPUT_VARIABLE symbols)
    if(symbols MATCHES "(^|\n)[0-9a-f]* W [^\n]*")
      message(SEND_ERROR "${object}: weak function:${CMAKE_MATCH_0}")
    endif()
    math(EXPR checked "${checked} + 1")
  endif()
endforeach()
if(checked EQUAL 0)
  message(STATUS "no wider path objects in this build")
endif()

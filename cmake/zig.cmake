# MAXHOST_ZIG: the zig 0.11.0 every zig build compiles with, installed by
# scripts/install-zig.sh at the first configure unless -DMAXHOST_ZIG=PATH
# names one.
set(MAXHOST_ZIG "" CACHE FILEPATH "zig 0.11.0 (empty: scripts/install-zig.sh installs it)")
if(NOT MAXHOST_ZIG)
  execute_process(COMMAND ${CMAKE_CURRENT_LIST_DIR}/../scripts/install-zig.sh
    OUTPUT_VARIABLE zig OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "scripts/install-zig.sh failed; -DMAXHOST_ZIG=PATH names a zig 0.11.0 instead")
  endif()
  set(MAXHOST_ZIG ${zig} CACHE FILEPATH "zig 0.11.0 (empty: scripts/install-zig.sh installs it)" FORCE)
endif()

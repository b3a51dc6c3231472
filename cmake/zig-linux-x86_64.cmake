# The Max adapter and the plug-ins built for this Linux machine by the
# compiler the macOS externals are built with, Zig 0.11's clang 16 and
# libc++, so that what it compiles differently from g++ and libstdc++ shows
# where it can run: in the stand-in for Max and in the bank's path tests.
#
#   cmake -S . -B build-zig --toolchain cmake/zig-linux-x86_64.cmake
#   cmake --build build-zig --target compiler_tests
#   (cd build-zig && ctest -L compilers)
#
# Zig comes from scripts/install-zig.sh unless -DMAXHOST_ZIG=PATH names a
# zig 0.11.0; -DMAXHOST_ZIG_CACHE_DIR=DIR shares one cache with the macOS
# build.  The target is this machine's (zig then searches its headers and
# libraries, libsndfile's among them) for the baseline x86-64 processor, as
# g++ compiles by default: zig would otherwise compile for the processor it
# runs on, and every wider path is chosen at run time.  Debian's GoogleTest
# is built against libstdc++, so its sources are built here with libc++.

# The compiler wrappers are written once, at the first configure; the
# try_compile projects CMake makes inside it are handed their paths.
if(NOT MAXHOST_ZIG_CXX)
  include(${CMAKE_CURRENT_LIST_DIR}/zig.cmake)
  set(MAXHOST_ZIG_CACHE_DIR ${CMAKE_BINARY_DIR}/zig-cache CACHE PATH "Zig's cache")
  set(ZIG ${MAXHOST_ZIG})
  set(ZIG_TARGET "native -mcpu=baseline")
  set(ZIG_CACHE_DIR ${MAXHOST_ZIG_CACHE_DIR})
  foreach(mode cc c++)
    set(ZIG_MODE ${mode})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/../host/max/macos/zig-wrapper.sh.in
      ${CMAKE_BINARY_DIR}/zig-bin/${mode} @ONLY
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(MAXHOST_ZIG_CC ${CMAKE_BINARY_DIR}/zig-bin/cc CACHE FILEPATH "zig cc for this machine" FORCE)
  set(MAXHOST_ZIG_CXX ${CMAKE_BINARY_DIR}/zig-bin/c++ CACHE FILEPATH "zig c++ for this machine" FORCE)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MAXHOST_ZIG_CC MAXHOST_ZIG_CXX)
set(CMAKE_C_COMPILER ${MAXHOST_ZIG_CC})
set(CMAKE_CXX_COMPILER ${MAXHOST_ZIG_CXX})
set(MAXHOST_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources, built with libc++")

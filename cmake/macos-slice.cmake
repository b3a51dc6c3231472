# One processor's slice of the macOS Max externals, configured by the
# universal build (cmake/macos-universal.cmake), not by hand:
#
#   -DMAXHOST_MAC_ARCH=x86_64|arm64
#   -DMAXHOST_MAC_CC=... -DMAXHOST_MAC_CXX=...   zig cc / zig c++ for it
#
# zig compiles (clang 16, the macOS 11-13 headers, libc++ built for the
# target); ld64.lld links each external as an MH_BUNDLE, as Max loads it:
# Zig 0.11's own linker refuses -bundle and the export list, and would
# export the whole C++ library.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 20.0)  # macOS 11
set(CMAKE_SYSTEM_PROCESSOR ${MAXHOST_MAC_ARCH})
set(CMAKE_C_COMPILER ${MAXHOST_MAC_CC})
set(CMAKE_CXX_COMPILER ${MAXHOST_MAC_CXX})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MAXHOST_MAC_ARCH MAXHOST_MAC_CC MAXHOST_MAC_CXX)

find_program(CMAKE_LINKER NAMES ld64.lld-14 ld64.lld REQUIRED)
find_program(CMAKE_NM NAMES llvm-nm-14 llvm-nm REQUIRED)
find_program(CMAKE_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)

# Nothing of the build machine's own libraries or headers.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Read after CMake's own rules for Darwin, which link through the compiler.
set(CMAKE_USER_MAKE_RULES_OVERRIDE_CXX ${CMAKE_CURRENT_LIST_DIR}/../host/max/macos/link-rule.cmake)

# Cross-building for Windows x64 with Debian's mingw-w64 (packages
# g++-mingw-w64-x86-64 and binutils-mingw-w64-x86-64), for the Max
# externals:
#
#   cmake -S . -B build-max --toolchain cmake/mingw-w64-x86_64.cmake
#   cmake --build build-max
#
# The win32-thread variant of the compiler: the externals use no
# std::thread, and the posix variant would pull in libwinpthread-1.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${MINGW_PREFIX}-gcc-win32 ${MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MINGW_PREFIX}-g++-win32 ${MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${MINGW_PREFIX}-windres)
find_program(CMAKE_NM NAMES ${MINGW_PREFIX}-nm REQUIRED)
find_program(CMAKE_OBJDUMP NAMES ${MINGW_PREFIX}-objdump REQUIRED)
find_program(CMAKE_AR NAMES ${MINGW_PREFIX}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${MINGW_PREFIX}-ranlib REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

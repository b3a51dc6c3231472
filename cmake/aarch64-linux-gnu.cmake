# Cross-building for 64-bit ARM Linux (a Raspberry Pi 4 or 5 with a 64-bit
# system, or any arm64 machine) with Debian's cross compiler (package
# g++-aarch64-linux-gnu) against Debian's multiarch arm64 libraries
# (libsndfile1-dev:arm64 and the rest, scripts/install-arm64-deps.sh):
#
#   cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake
#   cmake --build build-arm64
#
# The tests run under qemu-user (package qemu-user), which ctest puts in
# front of each test program; tests that start another of the project's
# programs take it from MAXHOST_TEST_EMULATOR (tests/CMakeLists.txt).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(MAXHOST_CROSS_TRIPLE aarch64-linux-gnu)
find_program(CMAKE_C_COMPILER NAMES ${MAXHOST_CROSS_TRIPLE}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${MAXHOST_CROSS_TRIPLE}-g++ REQUIRED)

# The compiler searches the multiarch folders itself (/usr/include/
# aarch64-linux-gnu, /usr/lib/aarch64-linux-gnu), and CMake finds packages
# and libraries there through CMAKE_LIBRARY_ARCHITECTURE.  pkg-config must
# look in the arm64 tree alone: the host's .pc files would add the host's
# /usr/include/x86_64-linux-gnu and /usr/lib/x86_64-linux-gnu to the compile
# and the link.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/${MAXHOST_CROSS_TRIPLE}/pkgconfig:/usr/share/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})

# The emulator runs the programs against the arm64 system the multiarch
# packages make of the host's own root, as an arm64 Debian would: its
# loader (/lib/ld-linux-aarch64.so.1) and C library are libc6:arm64.  Not
# -L /usr/aarch64-linux-gnu, the cross compiler's tree: its loader is from
# another build of the C library than libc6:arm64, which the libraries of
# the multiarch packages bring in, and with the two mixed a program's first
# pthread_create never returns.
find_program(MAXHOST_QEMU_AARCH64 NAMES qemu-aarch64)
if(MAXHOST_QEMU_AARCH64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MAXHOST_QEMU_AARCH64} -L /)
endif()

# Cross-building the Max externals for macOS 11 and later as universal
# bundles (x86_64 and arm64), with Zig 0.11's clang and Debian's ld64.lld
# (package lld) and llvm-lipo (package llvm-14):
#
#   cmake -S . -B build-max-mac --toolchain cmake/macos-universal.cmake
#   cmake --build build-max-mac
#
# This build compiles nothing itself: it builds each processor's slice in a
# build folder of its own inside it (slice-x86_64/, slice-arm64/, with
# cmake/macos-slice.cmake), joins the slices with llvm-lipo, lays out the
# .mxo bundles and checks them (host/max/macos/universal.cmake).  Zig comes from
# scripts/install-zig.sh, run at configure time unless -DMAXHOST_ZIG=PATH
# names a zig 0.11.0.
set(MAXHOST_MACOS_UNIVERSAL ON)

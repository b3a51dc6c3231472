#!/usr/bin/env bash
# One Max package for both systems: builds the Windows externals
# (build-max/, mingw-w64) and the macOS ones (build-max-mac/, Zig), then
# lays out build-max-package/tessel-brindle/ with the .mxe64 and .mxo
# externals side by side, the help patchers, the licenses and a
# package-info.json that declares both systems, and zips it
# (build-max-package/tessel-brindle-VERSION.zip).
#
#   scripts/max-package.sh
#
# Needs mingw-w64, lld and llvm-14 (scripts/install-deps.sh
# g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 lld llvm-14); Zig comes
# with the macOS build's first configure.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake -S . -B build-max --toolchain cmake/mingw-w64-x86_64.cmake
cmake --build build-max
cmake -S . -B build-max-mac --toolchain cmake/macos-universal.cmake
cmake --build build-max-mac
python3 host/max/macos/combine_package.py build-max/max-package/tessel-brindle \
  build-max-mac/max-package/tessel-brindle build-max-package

#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build (build/) and one
# under AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/); the
# Max externals cross-built for Windows (build-max/), checked, packaged and
# run under Wine; then the parsers' fuzz harnesses, and tessel~'s AVX-512
# path on an emulated processor when this one lacks the extension.
set -euo pipefail
cd "$(dirname "$0")"

# Each phase says when it starts, in minutes and seconds since the start,
# so a slow one shows in CI's log.
phase() { printf '== %s (at %dm%02ds)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }

phase "packages"
scripts/install-deps.sh
phase "normal build and tests"

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAXHOST_WERROR=ON -DMAXHOST_BENCH=ON >/dev/null
cmake --build build -j2
(cd build && ctest --output-on-failure -j2)

# The Max externals for Windows x64: cross-built with mingw-w64 against the
# SDK's import libraries (the build checks every .mxe64's exports and
# imports), packaged, then loaded under Wine into the stand-in for Max and
# compared with the headless host's runs of the same scripts.
phase "Max externals: cross build and Wine"
scripts/install-deps.sh g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64
cmake -S . -B build-max --toolchain cmake/mingw-w64-x86_64.cmake -G Ninja -DMAXHOST_WERROR=ON >/dev/null
cmake --build build-max -j2
tests/max/wine/run.sh build-max build

phase "AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMAXHOST_SANITIZE=ON -DMAXHOST_WERROR=ON >/dev/null
cmake --build build-asan -j2
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j2)

# The parsers' fuzz harnesses, built with clang's libFuzzer under ASan+UBSan,
# each run briefly.
phase "fuzz harnesses"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMAXHOST_TESTS=OFF -DMAXHOST_FUZZ=ON -DMAXHOST_WERROR=ON >/dev/null
cmake --build build-fuzz -j2 --target fuzzers
(cd build-fuzz && ctest --output-on-failure -L fuzz)

# The AVX-512 path of tessel~'s bank, which no test above runs on a
# processor without AVX-512: its tests on an emulated one (build-avx512/).
phase "AVX-512 path on an emulated processor"
tests/avx512-emulated/run.sh
phase "all passed"

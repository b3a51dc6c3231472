#!/usr/bin/env bash
# The project's tests.  Plain ./test.sh is the contributor's check: a normal
# build (build/) and one under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/), each with its tests.  ./test.sh --full adds what CI runs
# (.ci/run): a format check, the Max externals cross-built for Windows and
# run under Wine, the Max externals cross-built for macOS and checked, a
# ThreadSanitizer build for the threaded tests, the parsers' fuzz
# harnesses, a WAVE file past 4 GiB, tessel~'s AVX-512 path on an emulated
# processor when this one lacks the extension, the Max adapter and the
# bank built by Zig's clang for this machine, and the arm64 Linux build
# with its tests on an emulated processor.
#
# Root (or sudo) is needed only to install missing packages.
set -euo pipefail
cd "$(dirname "$0")"

usage() {
  cat <<'EOF'
Usage: ./test.sh [--full]

  (none)   normal build and its tests (build/), then the AddressSanitizer and
           UndefinedBehaviorSanitizer build and its tests (build-asan/)
  --full   the same, then what CI adds: a format check (clang-format 14),
           Max externals cross build and Wine run
           (build-max/), the macOS Max externals cross-built with Zig and
           checked (build-max-mac/), in both the Pd externals for that
           system built, checked and packed, ThreadSanitizer build of the threaded tests
           (build-tsan/), each fuzz harness for 45 seconds from its seeds in
           fuzz/corpus/ (build-fuzz/), a WAVE file past 4 GiB written and read
           back (needs some 5 GiB free in build/), on a processor without
           AVX-512, the AVX-512 path on an emulated one (build-avx512/), the
           Max adapter's and the bank's tests built by Zig's clang and libc++
           (build-zig/), and the arm64 Linux cross build with its tests
           under qemu-user (build-arm64/)
  --help   this text

Packages missing from the machine are installed first (scripts/install-deps.sh,
which needs root or sudo only then).
EOF
}

full=0
case "${1:-}" in
  "") ;;
  --full) full=1 ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac
[ $# -le 1 ] || { usage >&2; exit 2; }

# Each phase says when it starts, in minutes and seconds since the start,
# so a slow one shows in CI's log.
phase() { printf '== %s (at %dm%02ds)\n' "$1" $((SECONDS / 60)) $((SECONDS % 60)); }

# Waits for a job started in the background, shows its log, each line
# after NAME, and stops the run if it failed: await_background PID LOG NAME.
await_background() {
  local status=0
  wait "$1" || status=$?
  sed "s/^/  $3: /" "$2"
  if [ $status -ne 0 ]; then
    echo "$3 failed (status $status); its log: $2" >&2
    exit 1
  fi
}

# ccache, when the machine has it, makes a second run mostly links.
launcher=()
command -v ccache >/dev/null &&
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

phase "packages"
scripts/install-deps.sh
# What only the full run needs (mingw-w64 and Wine; ld64.lld, llvm-lipo and
# Zig for macOS: minutes of downloads on a fresh machine) installs in the
# background while the first two builds compile; the Max phase waits for it.
if [ $full -eq 1 ]; then
  deps_log=$(mktemp)
  { scripts/install-deps.sh g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine64 lld llvm-14 &&
    scripts/install-zig.sh; } >"$deps_log" 2>&1 &
  deps_pid=$!
  # The arm64 cross compiler, qemu-user, the arm64 libraries and Debian's
  # arm64 pd, once the installs above are done (one apt at a time), for
  # the arm64 phase at the end.
  arm64_log=$(mktemp)
  (
    while kill -0 "$deps_pid" 2>/dev/null; do sleep 1; done
    scripts/install-arm64-deps.sh "$PWD/build-arm64/pd-arm64"
  ) >"$arm64_log" 2>&1 &
  arm64_pid=$!
fi

# The 4 GiB file test (label "large") runs only in the full run.
phase "normal build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAXHOST_WERROR=ON -DMAXHOST_BENCH=ON \
  "${launcher[@]}" >/dev/null
cmake --build build -j2
(cd build && ctest --output-on-failure -j2 -LE large)

phase "AddressSanitizer and UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMAXHOST_SANITIZE=ON -DMAXHOST_WERROR=ON \
  "${launcher[@]}" >/dev/null
cmake --build build-asan -j2
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --output-on-failure -j2 -LE large)

if [ $full -eq 0 ]; then
  phase "all passed"
  exit 0
fi

# The sources as .clang-format lays them out (clang-format 14, Debian 12's:
# other versions lay some lines out otherwise).
phase "format check"
scripts/install-deps.sh clang-format-14
git ls-files '*.cpp' '*.hpp' '*.h' '*.c' ':!third_party' | xargs clang-format-14 --dry-run --Werror

# The Max externals for Windows x64: cross-built with mingw-w64 against the
# SDK's import libraries (the build checks every .mxe64's exports and
# imports), packaged, then loaded under Wine into the stand-in for Max and
# compared with the headless host's runs of the same scripts.  The Pd
# externals for Windows are built, checked (exports, imports against Pd's
# headers) and packed beside them, and the check's own tests run; no
# Windows Pd runs them.
phase "Max externals: cross build and Wine"
await_background "$deps_pid" "$deps_log" "installing mingw-w64, Wine, lld and Zig"
# The Max adapter in the stand-in and the bank's paths built by Zig's clang
# and libc++ for this machine (the compiler of the macOS externals), with
# its renders compared to the ones g++'s build made above.  It runs in the
# background from here to the end, at a lower priority: it takes what the
# phases between leave of the two cores (configures, Wine, the fuzzers,
# which run for a set time).  Ended with its session if the run fails.
zig_log=build/zig-linux.log
phase "Linux build by Zig's clang: started in the background"
setsid nice -n 10 bash -c '
  set -euo pipefail
  cmake -S . -B build-zig --toolchain cmake/zig-linux-x86_64.cmake -G Ninja -DMAXHOST_WERROR=ON \
    -DMAXHOST_ZIG_CACHE_DIR="$PWD/build-max-mac/zig-cache" "$@" >/dev/null
  cmake --build build-zig -j2 --target compiler_tests
  (cd build-zig && ctest --output-on-failure -j2 -L compilers)
  for file in bridge wide; do
    build/tests/max/max_wavcmp build/tests/max/render/headless/$file.wav \
      build-zig/tests/max/render/bridge/$file.wav
  done' zig-linux "${launcher[@]}" >"$zig_log" 2>&1 &
zig_pid=$!
trap 'pkill -TERM -s "$zig_pid" 2>/dev/null || true' EXIT

cmake -S . -B build-max --toolchain cmake/mingw-w64-x86_64.cmake -G Ninja -DMAXHOST_WERROR=ON \
  "${launcher[@]}" >/dev/null
cmake --build build-max -j2
cmake --build build-max --target deken
(cd build-max && ctest --output-on-failure)
tests/max/wine/run.sh build-max build

# The Max externals for macOS: universal bundles (x86_64 and arm64)
# cross-built with Zig and ld64.lld, each slice of each checked by the
# build (exports, imports, minimum system, signature, Info.plist), then
# the checker's own tests; the Pd externals for macOS the same way, and
# their deken archive.  Nothing here runs them: no Mac, no Max, no Pd.
phase "Max externals for macOS: cross build and checks"
mac_start=$SECONDS
cmake -S . -B build-max-mac --toolchain cmake/macos-universal.cmake -G Ninja -DMAXHOST_WERROR=ON \
  "${launcher[@]}" >/dev/null
cmake --build build-max-mac -j2
cmake --build build-max-mac --target deken
(cd build-max-mac && ctest --output-on-failure)
# Both systems' externals in one package (scripts/max-package.sh's last step).
python3 host/max/macos/combine_package.py build-max/max-package/tessel-brindle \
  build-max-mac/max-package/tessel-brindle build-max-package
echo "macOS externals: $((SECONDS - mac_start)) s"

# The AVX-512 path of tessel~'s bank, which no test above runs on a
# processor without AVX-512: its tests on an emulated one.  The emulator
# takes one core for some five minutes, so it runs in the background beside
# the ThreadSanitizer and fuzz builds and the fuzzers, which run for a set
# time, one at a time; its log is shown and its status counted when they
# are done.
avx_log=build/avx512-emulated.log
phase "AVX-512 path on an emulated processor: started in the background"
setsid tests/avx512-emulated/run.sh >"$avx_log" 2>&1 &
avx_pid=$!

# If a later phase fails, the emulator is not left running.  It runs in a
# session of its own (setsid), and its timeout and pseudo-terminal put Bochs
# in other process groups of that session: the whole session is ended.
trap 'pkill -TERM -s "$avx_pid" 2>/dev/null || true; pkill -TERM -s "$zig_pid" 2>/dev/null || true' EXIT

# Only what the tests labelled "threads" need is built: target threads_tests.
phase "ThreadSanitizer build and threaded tests"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMAXHOST_TSAN=ON -DMAXHOST_WERROR=ON \
  "${launcher[@]}" >/dev/null
cmake --build build-tsan -j2 --target threads_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest -L threads --output-on-failure)

# The parsers' fuzz harnesses, built with clang's libFuzzer under ASan+UBSan.
phase "fuzz harnesses: build"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DMAXHOST_TESTS=OFF -DMAXHOST_FUZZ=ON -DMAXHOST_FUZZ_SECONDS=45 -DMAXHOST_WERROR=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j2 --target fuzzers

# Everything for 64-bit ARM Linux, cross-built with Debian's g++ for
# aarch64 against its arm64 packages.  It builds in the background from
# here, at a lower priority: the fuzzers run one at a time, for a set time,
# and leave a core free.  Its tests run at the end.
phase "arm64 Linux: cross build started in the background"
await_background "$arm64_pid" "$arm64_log" "installing the arm64 packages"
arm64_log=build/arm64-build.log
setsid nice -n 10 bash -c '
  set -euo pipefail
  cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake -G Ninja -DMAXHOST_WERROR=ON \
    -DMAXHOST_PD_PROGRAM="$PWD/build-arm64/pd-arm64/pd" "$@" >/dev/null
  cmake --build build-arm64 -j2' arm64 "${launcher[@]}" >"$arm64_log" 2>&1 &
arm64_pid=$!
trap 'pkill -TERM -s "$avx_pid" 2>/dev/null || true; pkill -TERM -s "$zig_pid" 2>/dev/null || true
  pkill -TERM -s "$arm64_pid" 2>/dev/null || true' EXIT

phase "fuzz harnesses: 45 seconds each"
(cd build-fuzz && ctest --output-on-failure -L fuzz)

phase "WAVE file past 4 GiB"
(cd build && ctest --output-on-failure -L large)

phase "AVX-512 path on an emulated processor: waiting for it"
await_background "$avx_pid" "$avx_log" avx512
phase "Linux build by Zig's clang: waiting for it"
await_background "$zig_pid" "$zig_log" zig-linux

# Every arm64 test runs under qemu-user as ctest's emulator (Debian's
# arm64 pd for the Pd tests), without sanitizers; the 4 GiB file (label
# "large") is left to the native build.
phase "arm64 Linux: cross build, waiting for it, and tests under qemu"
await_background "$arm64_pid" "$arm64_log" arm64
trap - EXIT
(cd build-arm64 && ctest --output-on-failure -j2 -LE large)
phase "all passed"

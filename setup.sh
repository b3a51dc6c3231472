#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs the demo:
# renders examples/demo.txt to build/demo.wav and reads the markers of the
# example sound files.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

echo "== rendering examples/demo.txt to build/demo.wav"
(cd build && ./maxhost run ../examples/demo.txt)
echo "== reading the markers of examples/markers.wav, .aif and .sd2"
build/maxhost markers examples/markers.wav examples/markers.aif examples/markers.sd2
echo "== done: build/demo.wav"

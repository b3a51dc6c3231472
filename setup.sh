#!/usr/bin/env bash
# Installs what is missing, builds everything into build/ and runs the demo:
# renders examples/demo.txt to build/demo.wav.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

echo "== rendering examples/demo.txt to build/demo.wav"
(cd build && ./maxhost run ../examples/demo.txt)
echo "== done: build/demo.wav"

#!/usr/bin/env bash
# Installs what is missing, builds what the demo needs into build/ (maxhost,
# the tessel~ and brindle~ plug-ins and, when Pd's headers are there, the Pd
# externals; not the test suite, which ./test.sh builds) and runs the demo:
# renders examples/demo.txt to build/demo.wav and reads the markers of the
# example sound files.
set -euo pipefail
cd "$(dirname "$0")"

# Every package the project uses, the tests' included, so that ./test.sh
# finds build/ configured and has nothing left to install.
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target demo_programs

echo "== rendering examples/demo.txt to build/demo.wav"
(cd build && ./maxhost run ../examples/demo.txt)
echo "== reading the markers of examples/markers.wav, .aif and .sd2"
build/maxhost markers examples/markers.wav examples/markers.aif examples/markers.sd2

pd_open="" pd_user=""
if [ -f build/tessel~.pd_linux ]; then
  pd_open="
  pd -path build build/tessel~-help.pd         tessel~ in Pure Data (and brindle~-help.pd)"
  pd_user="
  cmake --install build --component pd-user    or only the Pd externals, for you alone, no root"
fi
cat <<EOF
== done: build/demo.wav

Try next:
  build/maxhost --help                         every command and the script syntax
  build/maxhost run examples/demo.txt          the demo again (writes ./demo.wav)
  build/maxhost markers examples/markers.aif   the markers of a sound file${pd_open}
  ./test.sh                                    build and run the tests (--full: what CI runs)
  sudo cmake --install build                   install maxhost and the Pd externals
                                               under /usr/local (README: Install)${pd_user}
EOF

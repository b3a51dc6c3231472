#!/usr/bin/env bash
# Runs one test patch in batch Pd and judges the run:
#
#   run_pd_test.sh PD PATH_DIR PATCH [EXPECT] [-- MORE PD ARGUMENTS...]
#
# Pd runs with no audio, no preferences and no standard path, searching
# PATH_DIR for externals, under a timeout: a hang fails with status 124, a
# crash with 128 + the signal (139 for a segmentation fault).  The patch
# ends with "; pd quit N": N is its own verdict, 0 for a pass.
#
# PDTEST_PRELOAD, when set, is preloaded into pd alone (a sanitizer's
# runtime, for externals built with it).
#
# EXPECT, when given, judges the console (Pd's "verbose(N): " prefixes
# dropped), one rule per line:
#   @ REGEX   the transcript: every console line matching REGEX, in order,
#             must be exactly the "=" lines below it
#   = TEXT    the next transcript line
#   ~ REGEX   some console line matches (grep -E)
#   ! REGEX   no console line matches
#   N REGEX   exactly N console lines match (N a whole number)
#   # ...     a comment; blank lines are skipped
set -u

if [ $# -lt 3 ]; then
  echo "usage: run_pd_test.sh PD PATH_DIR PATCH [EXPECT] [-- PD ARGS...]" >&2
  exit 2
fi
pd=$1 path_dir=$2 patch=$3
shift 3
expect=""
if [ $# -gt 0 ] && [ "$1" != "--" ]; then
  expect=$1
  shift
fi
[ $# -gt 0 ] && [ "$1" = "--" ] && shift

log=$(mktemp)
trap 'rm -f "$log" "$log.transcript" "$log.expected"' EXIT

preload=()
[ -n "${PDTEST_PRELOAD:-}" ] && preload=(env "LD_PRELOAD=$PDTEST_PRELOAD")
timeout -k 5 "${PDTEST_TIMEOUT:-30}" "${preload[@]}" "$pd" -batch -noaudio -nrt -noprefs -nostdpath \
  -path "$path_dir" -open "$patch" "$@" >"$log" 2>&1
status=$?
sed -i -E 's/^verbose\([0-9]+\): //' "$log"

failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

case $status in
  0) ;;
  124) fail "Pd did not quit within the time limit (a hang)" ;;
  1[3-9][0-9]) fail "Pd died of signal $((status - 128))" ;;
  *) fail "Pd exited with status $status (the patch's verdict, or a failure before it)" ;;
esac

if [ -n "$expect" ]; then
  transcript_regex=""
  : >"$log.expected"
  while IFS= read -r rule || [ -n "$rule" ]; do
    case $rule in
      '' | '#'*) ;;
      '@ '*) transcript_regex=${rule#@ } ;;
      '= '*) printf '%s\n' "${rule#= }" >>"$log.expected" ;;
      '~ '*) grep -qE -- "${rule#~ }" "$log" || fail "no console line matches: ${rule#~ }" ;;
      '! '*) grep -qE -- "${rule#! }" "$log" && fail "a console line matches: ${rule#! }" ;;
      [0-9]*' '*)
        want=${rule%% *} regex=${rule#* }
        got=$(grep -cE -- "$regex" "$log")
        [ "$got" -eq "$want" ] || fail "$got console lines match, not $want: $regex"
        ;;
      *) fail "unreadable rule in $expect: $rule" ;;
    esac
  done <"$expect"
  if [ -n "$transcript_regex" ]; then
    grep -E -- "$transcript_regex" "$log" >"$log.transcript"
    if ! diff -u --label expected --label console "$log.expected" "$log.transcript"; then
      fail "the transcript differs (above)"
    fi
  elif [ -s "$log.expected" ]; then
    fail "\"=\" lines without an \"@\" rule in $expect"
  fi
fi

if [ $failed -ne 0 ]; then
  echo "---- console of pd -open $patch"
  cat "$log"
  exit 1
fi
exit 0

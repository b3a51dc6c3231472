#!/usr/bin/env bash
# Pd's Find Last Error ("pd finderror", the Find menu's item) after a
# console error of tessel~ or brindle~ selects the box that printed it, or
# nothing when that box is gone, but never another box:
#
#   find_error.sh PD PATH_DIR
#
# Each case is a patch whose box under test prints an error; then Pd finds
# the last error, cuts what that selected and saves the patch.  The saved
# patch must lack exactly the box expected, and the console must hold the
# error (judged by run_pd_test.sh, with its sanitizer preload).
set -u

if [ $# -ne 2 ]; then
  echo "usage: find_error.sh PD PATH_DIR" >&2
  exit 2
fi
pd=$1
path_dir=$(cd "$2" && pwd) || exit 1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failed=0

# check NAME BOX TRIGGER ERROR_REGEX FOUND: BOX (a Pd object's text) gets
# TRIGGER (a message, or "" for none); ERROR_REGEX matches the console
# error; FOUND is "yes" when the box must be the one cut, "no" when nothing
# may be cut.  The box comes first: an object made after it may be given
# the memory of a box whose creation failed.
check() {
  local name=$1 box=$2 trigger=$3 error=$4 found=$5
  local dir=$work/$name
  mkdir -p "$dir"
  {
    echo "#N canvas 0 0 500 300 12;"
    echo "#X obj 200 10 $box;"
    echo "#X obj 10 10 loadbang;"
    echo "#X obj 10 40 delay 50;"
    echo "#X msg 10 70 \\; pd finderror \\; pd-$name.pd cut \\; pd-$name.pd savetofile saved.pd . \\; pd quit 0;"
    [ -n "$trigger" ] && echo "#X msg 200 40 $trigger;"
    echo "#X connect 1 0 2 0;"
    echo "#X connect 2 0 3 0;"
    if [ -n "$trigger" ]; then
      echo "#X connect 1 0 4 0;"
      echo "#X connect 4 0 0 0;"
    fi
  } >"$dir/$name.pd"
  printf '1 %s\n' "$error" >"$dir/expect"

  if ! (cd "$dir" && "$here/run_pd_test.sh" "$pd" "$path_dir" "$dir/$name.pd" "$dir/expect"); then
    echo "FAIL [$name]: the run above"
    failed=1
    return
  fi
  if [ ! -s "$dir/saved.pd" ]; then
    echo "FAIL [$name]: Pd did not save the patch"
    failed=1
    return
  fi
  local cut
  cut=$(grep -E '^#X (obj|msg) ' "$dir/$name.pd" | grep -vxFf "$dir/saved.pd")
  local want=""
  [ "$found" = yes ] && want="#X obj 200 10 $box;"
  if [ "$cut" != "$want" ]; then
    echo "FAIL [$name]: Find Last Error selected"
    echo "  ${cut:-nothing}"
    echo "  instead of ${want:-nothing}"
    failed=1
  fi
}

# An error of a message: the box that received it.
check message "brindle~" "peak 2" '^error: brindle: peak accepts only 0 or 1$' yes
# An error of a deferred call: the box whose call it was.
check deferred "brindle~" "open no-such-file.wav" '^error: File not found\?$' yes
# An error of a refused creation: Pd frees that box at once (its own
# broken box takes the place, with lines of its own), so nothing; the next
# object made may have been given the freed box's memory.
check creation "tessel~ 101" "" '^error: tessel~: number of partials must be between 1 and 100$' no

exit $failed

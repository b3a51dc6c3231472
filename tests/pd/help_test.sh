#!/usr/bin/env bash
# A help patch as a Pd user meets it, in real Pd (batch, no GUI):
#
#   help_test.sh PD PATH_DIR HELP_PATCH EXPECT MESSAGES
#
# First, every message of MESSAGES (the object's list made from its
# reference file, one "SELECTOR ARGS..." a line) must be in the patch: a
# message box of the main window sends it (a list: one starting with a
# number), and a comment of the "reference" subpatch starts with it.  Then
# Pd opens HELP_PATCH with PATH_DIR as its search path and audio on; a
# driver patch then clicks every message box of the patch's main window,
# one at a time, in reading order (top to bottom, then left to right), as
# Pd's canvas "mouse" messages, and at last has Pd save the patch.  Fails
#   - on what run_pd_test.sh judges: a hang or crash, and EXPECT's rules on
#     the console (errors, boxes that do not create, what the patch printed);
#   - on a comment of the saved patch whose text ends in a width setting: a
#     width written as "\, f 90" is no width but text, shown as ", f 90".
# Whether boxes overlap or cords cross Pd only shows in its GUI:
# scripts/pd-help-screenshots.sh takes the pictures to look at.
set -u

if [ $# -ne 5 ]; then
  echo "usage: help_test.sh PD PATH_DIR HELP_PATCH EXPECT MESSAGES" >&2
  exit 2
fi
pd=$1 path_dir=$2 help=$3 expect=$4 messages=$5
here=$(cd "$(dirname "$0")" && pwd)
for f in "$help" "$expect" "$messages"; do
  [ -r "$f" ] || { echo "FAIL: cannot read $f"; exit 1; }
done
# Pd runs in a folder of its own: every path is made absolute.
absolute() { (cd "$(dirname "$1")" && printf '%s/%s' "$(pwd)" "$(basename "$1")"); }
help=$(absolute "$help") expect=$(absolute "$expect")
path_dir=$(cd "$path_dir" && pwd) || exit 1
name=$(basename "$help")
canvas="pd-$name"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One record per line (Pd may wrap a long record over several lines).
records() {
  awk '{ line = (line == "" ? $0 : line " " $0) }
       /(^|[^\\]);[ \t]*$/ { print line; line = "" }' "$1"
}

failed=0
# What the patch shows of each message: "sent SELECTOR" for a message box
# of the main window, "told SELECTOR" for a comment of the reference.
records "$help" | awk '
  /^#N canvas/ { depth++; reference[depth] = $7 == "reference"; next }
  /^#X restore/ { depth--; next }
  { w = $5; sub(/;$/, "", w) }
  depth == 1 && $1 == "#X" && $2 == "msg" { print "sent", (w ~ /^[-+0-9.]/ ? "list" : w) }
  depth == 2 && reference[2] && $1 == "#X" && $2 == "text" { print "told", w }' >"$work/shown"
while read -r selector _; do
  for how in sent told; do
    grep -qxF "$how $selector" "$work/shown" || { echo "FAIL: $name: $selector is not $how"; failed=1; }
  done
done <"$messages"

# The message boxes of the main window, "Y X" in reading order.
records "$help" | awk '
  /^#N canvas/ { depth++; next }
  /^#X restore/ { depth--; next }
  depth == 1 && $1 == "#X" && $2 == "msg" { print $4, $3 }' | sort -n -k1,1 -k2,2 >"$work/clicks"
if [ ! -s "$work/clicks" ]; then
  echo "FAIL: no message box in $help"
  exit 1
fi

# The driver: each [delay] fires its click, then starts the next [delay],
# so that what a click defers (brindle~'s open) runs before the next click.
{
  echo "#N canvas 0 0 400 300 12;"
  echo "#X obj 10 10 loadbang;"
  echo "#X msg 10 40 \\; pd dsp 1;"
  n=2
  prev=0
  while read -r y x; do
    cx=$((x + 4)) cy=$((y + 4))
    echo "#X obj 10 70 delay 10;"
    echo "#X obj 10 100 t b b;"
    echo "#X msg 10 130 \\; $canvas mouse $cx $cy 1 0 \\; $canvas mouseup $cx $cy 0;"
    echo "#X connect $prev 0 $n 0;"
    echo "#X connect $n 0 $((n + 1)) 0;"
    echo "#X connect $((n + 1)) 1 $((n + 2)) 0;"
    prev=$((n + 1))
    n=$((n + 3))
  done <"$work/clicks"
  # Audio stays on a while after the last click; the patch is saved last,
  # since saving renames its canvas.
  echo "#X obj 10 160 delay 100;"
  echo "#X msg 10 190 \\; pd dsp 1 \\; $canvas savetofile saved.pd . \\; pd quit 0;"
  echo "#X connect $prev 0 $n 0;"
  echo "#X connect $n 0 $((n + 1)) 0;"
  echo "#X connect 0 0 1 0;"
} >"$work/driver.pd"

# Pd saves relative to its working folder, which holds no space.
(cd "$work" && "$here/run_pd_test.sh" "$pd" "$path_dir" "$help" "$expect" -- -open "$work/driver.pd") || failed=1

if [ ! -s "$work/saved.pd" ]; then
  echo "FAIL: Pd did not save $name (the driver did not run to its end)"
  failed=1
else
  # A comment's own width is its record's last ", f N", unescaped.
  widths=$(records "$work/saved.pd" | awk '
    $1 == "#X" && $2 == "text" {
      t = $0
      sub(/[ \t]*$/, "", t)
      if (t !~ /\\, f [0-9]+;$/) sub(/, f [0-9]+;$/, ";", t)
      if (t ~ /\\, *f +[0-9]+ *;$/) print
    }')
  if [ -n "$widths" ]; then
    echo "FAIL: comments whose text ends in a width setting, as Pd saved them:"
    printf '%s\n' "$widths"
    failed=1
  fi
fi
exit $failed

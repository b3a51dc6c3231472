#!/usr/bin/env bash
# Screenshots of the Pd help patches as Pd's own GUI shows them, for the
# README:
#
#   scripts/pd-help-screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# BUILD_DIR (default build/) holds tessel~.pd_linux, brindle~.pd_linux and
# their help patches; OUT_DIR (default docs/) receives
# pd-tessel-help.png, pd-brindle-help.png and, of each patch's
# [pd reference] subpatch, pd-tessel-reference.png and
# pd-brindle-reference.png.
#
# Pd and its GUI run on a private X server (Xvfb), without a window
# manager, so each window is taken as drawn: menu bar and canvas.  Run by
# hand after the help patches change; it installs what it needs from
# Debian when run as root (or with sudo).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../build}" && pwd)
out=${2:-$here/../docs}
mkdir -p "$out"
out=$(cd "$out" && pwd)

for f in tessel~.pd_linux brindle~.pd_linux tessel~-help.pd brindle~-help.pd; do
  [ -e "$build/$f" ] || { echo "no $build/$f: build the Pd externals first" >&2; exit 1; }
done

"$here/install-deps.sh" xvfb xdotool imagemagick puredata-gui

# A display no other X server holds.
display=""
for n in $(seq 91 120); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    display=":$n"
    break
  fi
done
[ -n "$display" ] || { echo "no free X display between :91 and :120" >&2; exit 1; }

pids=()
work=$(mktemp -d)
cleanup() {
  # Pd first: its GUI quits when Pd's socket closes.
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
    wait "${pids[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb "$display" -screen 0 1400x1200x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do
  xdotool getdisplaygeometry >/dev/null 2>&1 && break
  sleep 0.1
done

# The window whose title starts with TITLE, once it is mapped.
window() {
  local id
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -n 1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "no window \"$1\" appeared; Pd said:" >&2
  cat "$work/pd.log" >&2
  return 1
}

# shoot NAME: NAME-help.pd and its [pd reference] in one Pd.  One Pd per
# patch, since a subpatch's title names only the folder of its patch.
# No preferences, so the fonts and paths are Pd's defaults; DSP stays off.
shoot() {
  local name=$1 short=${1%\~} main ref
  pd -noprefs -noaudio -nomidi -path "$build" -open "$build/$name-help.pd" \
    -send "pd-reference vis 1" >"$work/pd.log" 2>&1 &
  pids+=($!)
  main=$(window "$name-help.pd ")
  ref=$(window "reference ")
  # Tk draws the boxes after a window is mapped; and with no backing store
  # a window's covered parts are not kept, so each is raised for its shot.
  sleep 1.5
  xdotool windowraise "$main"
  sleep 0.5
  import -window "$main" "$out/pd-$short-help.png"
  xdotool windowraise "$ref"
  sleep 0.5
  import -window "$ref" "$out/pd-$short-reference.png"
  echo "$out/pd-$short-help.png $out/pd-$short-reference.png"
  kill "${pids[-1]}"
  wait "${pids[-1]}" 2>/dev/null || true
  unset 'pids[-1]'
}

shoot tessel~
shoot brindle~

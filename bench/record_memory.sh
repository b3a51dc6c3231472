#!/usr/bin/env bash
# Peak memory of long renders streamed to a file: tessel~ 100 8 at 48 kHz
# recorded with "record" for 10 and for 60 minutes, side by side, and the
# 10-minute one kept in memory and written with "write" for comparison.
# The streamed ones must be about equal, and small: memory must not grow
# with the length.  Prints a Markdown table.
#
#   bench/record_memory.sh [MAXHOST [WORKDIR]]
#
# MAXHOST defaults to build/maxhost, WORKDIR (where the renders go, about
# 5.5 GB for the hour of 32-bit floats; deleted afterwards) to a fresh
# folder under /tmp.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
maxhost="${1:-$root/build/maxhost}"
work="${2:-$(mktemp -d /tmp/record-memory.XXXXXX)}"
mkdir -p "$work"

script() {  # minutes, command (record or write)
  {
    echo "new synth tessel~ 100 8"
    echo "signal synth 0 0.5"
    [ "$2" = record ] && echo "record synth $work/render.wav"
    echo "dsp 48000 64"
    for k in $(seq 1 100); do echo "send synth $k $((k * 55)). 0.01"; done
    echo "run $(( $1 * 60 ))"
    [ "$2" = write ] && echo "write synth $work/render.wav"
    true
  } > "$work/script-$1-$2.txt"
}

measure() {  # minutes, command
  script "$1" "$2"
  local start end kb size
  start=$(date +%s.%N)
  /usr/bin/time -f '%M' -o "$work/rss" "$maxhost" --quiet run "$work/script-$1-$2.txt" >/dev/null
  end=$(date +%s.%N)
  kb=$(tail -1 "$work/rss")
  size=$(stat -c %s "$work/render.wav")
  printf '| %s | %d min | %.1f MB | %.2f GB | %.0f s |\n' "$2" "$1" "$(echo "$kb / 1024" | bc -l)" \
    "$(echo "$size / 1073741824" | bc -l)" "$(echo "$end - $start" | bc -l)"
  rm -f "$work/render.wav"
}

echo "| command | length | peak memory (max RSS) | file | time |"
echo "|---|---:|---:|---:|---:|"
measure 10 record
measure 60 record
measure 10 write
rm -rf "$work"

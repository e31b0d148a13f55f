#!/usr/bin/env bash
# CPU of the desktop host as a screen-saver hack: a 1920 × 1080 screen under Xvfb, figures from
# the demo chain, damaged rectangles only versus a full redraw of every frame.
# Usage: bench/desktop-cpu.sh ZIBBLES_BINARY [SECONDS [RUNS]]   (defaults: 20 s, 3 runs each)
# Prints one line per run and the medians: CPU seconds per second of running (utime + stime of
# /proc/PID/stat, as a percentage of one core) for the host and for the X server, and frames
# presented per second as the host counts them.
set -euo pipefail
binary=$1
seconds=${2:-20}
runs=${3:-3}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/x11-lib.sh"
settle=3 # seconds for the first figure to arrive before measuring

work=$(mktemp -d)
xvfb_pid=""
host_pid=""
export ZIBBLES_CHAIN_DIR="$work/chain"
ZIBBLES_CHAIN_PORT=$(free_port)
export ZIBBLES_CHAIN_PORT
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  "$repo/demo/chain" down >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$repo/demo/chain" up >/dev/null
start_xvfb 1920x1080 "$work" || { echo "Xvfb did not start" >&2; exit 1; }
ticks_per_second=$(getconf CLK_TCK)

# utime + stime of a process, in clock ticks (fields 14 and 15; the name may hold blanks).
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# run MODE_FLAGS...: prints "host% xvfb% frames/s"
run() {
  "$binary" --root --seed 11 --endpoint "http://127.0.0.1:$ZIBBLES_CHAIN_PORT" "$@" 2>"$work/stderr" &
  host_pid=$!
  sleep "$settle"
  local host0 xvfb0 host1 xvfb1
  host0=$(cpu_ticks "$host_pid")
  xvfb0=$(cpu_ticks "$xvfb_pid")
  sleep "$seconds"
  host1=$(cpu_ticks "$host_pid")
  xvfb1=$(cpu_ticks "$xvfb_pid")
  kill -TERM "$host_pid"
  wait "$host_pid" || true
  host_pid=""
  local frames
  frames=$(awk '/frames presented in/ { printf "%.1f", $2 / $6 }' "$work/stderr")
  awk -v h=$((host1 - host0)) -v x=$((xvfb1 - xvfb0)) -v t="$seconds" -v k="$ticks_per_second" \
    -v f="${frames:-0}" 'BEGIN { printf "%.2f %.2f %s\n", 100 * h / k / t, 100 * x / k / t, f }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A results
for mode in damaged full; do
  flags=()
  [ "$mode" = full ] && flags=(--full-redraw)
  for i in $(seq "$runs"); do
    line=$(run "${flags[@]}")
    echo "$mode run $i: host ${line%% *}% of a core, Xvfb $(echo "$line" | cut -d' ' -f2)%, $(echo "$line" | cut -d' ' -f3) frames/s"
    results[$mode]+="$line"$'\n'
  done
done

for mode in damaged full; do
  host=$(printf '%s' "${results[$mode]}" | cut -d' ' -f1 | median)
  xvfb=$(printf '%s' "${results[$mode]}" | cut -d' ' -f2 | median)
  fps=$(printf '%s' "${results[$mode]}" | cut -d' ' -f3 | median)
  echo "median $mode: host $host% of a core, Xvfb $xvfb%, $fps frames/s"
  declare "median_$mode=$host"
done
awk -v d="$median_damaged" -v f="$median_full" \
  'BEGIN { if (d > 0) printf "full redraw / damaged: %.1f× the host CPU\n", f / d }'

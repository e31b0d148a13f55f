#!/usr/bin/env bash
# CPU and memory of the desktop host as a screen-saver hack, under Xvfb at 60 frames a second with
# figures from the demo chain, beside other hacks a user might pick instead.
# Usage: bench/desktop-cpu.sh ZIBBLES_BINARY [SECONDS [RUNS [INTERVAL_SECONDS]]]
#        (defaults: 10 s per run, 3 runs, 60 s for the present intervals)
# For each screen (1920x1080, 3840x2160 and a 560x315 preview), each peer on the 1920x1080
# screen and the reference hack (bench/ReferenceHack.cpp: the least a hack presenting as often
# can cost) on each screen: the CPU the hack and the X server used (time on a core from
# /proc/PID/task/*/schedstat, % of one core), the hack's resident memory (VmRSS at the end) and
# its presents per second, medians of RUNS runs, and the hack's ratio to each peer and to the
# reference. Then, from the hack's trace ("frame.presented"
# events) on the 1920x1080 screen, the 99th percentile of the interval between presents while
# the sprite moves, and the presents of a view too small to move.
set -euo pipefail
binary=$(realpath "$1")
seconds=${2:-10}
runs=${3:-3}
interval_seconds=${4:-60}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/system/lib/x11-lib.sh"
settle=3 # seconds for the first figure to arrive before measuring
peers=(deco popsquares abstractile)
peer_dir=/usr/libexec/xscreensaver

work=$(mktemp -d)
xvfb_pid=""
host_pid=""
export ZIBBLES_CHAIN_DIR="$work/chain"
ZIBBLES_CHAIN_PORT=$(free_port)
export ZIBBLES_CHAIN_PORT
endpoint="http://127.0.0.1:$ZIBBLES_CHAIN_PORT"
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  "$repo/demo/chain" down >/dev/null 2>&1 || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$repo/demo/chain" up >/dev/null
reference=$(dirname "$binary")/../bench/ReferenceHack
[ -x "$reference" ] || reference="$repo/build/release/bench/ReferenceHack"
[ -x "$reference" ] || { echo "desktop-cpu: build bench/ReferenceHack first" >&2; exit 1; }

# Nanoseconds a process's threads have run (schedstat's first field). Unlike utime + stime it is
# not sampled at clock ticks, which are 0.1 % of a core over 10 s. The threads measured here live
# as long as their process, so none is missed.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'; }
rss_mb() { awk '/^VmRSS/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

# measure COMMAND...: runs it for settle + seconds; prints "hack% xvfb% rssMB presents/s".
measure() {
  "$@" 2>"$work/stderr" &
  host_pid=$!
  sleep "$settle"
  local host0 xvfb0 host1 xvfb1 rss
  host0=$(cpu_ns "$host_pid")
  xvfb0=$(cpu_ns "$xvfb_pid")
  sleep "$seconds"
  host1=$(cpu_ns "$host_pid")
  xvfb1=$(cpu_ns "$xvfb_pid")
  rss=$(rss_mb "$host_pid")
  kill -TERM "$host_pid"
  wait "$host_pid" || true
  host_pid=""
  local frames
  frames=$(awk '/frames presented in/ { printf "%.1f", $2 / $6 }' "$work/stderr")
  awk -v h=$((host1 - host0)) -v x=$((xvfb1 - xvfb0)) -v t="$seconds" \
    -v r="$rss" -v f="${frames:--}" 'BEGIN { printf "%.2f %.2f %s %s\n", h / t / 1e7, x / t / 1e7, r, f }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
column_median() { printf '%s' "$1" | cut -d' ' -f"$2" | median; }

declare -A together
# row NAME COMMAND...: RUNS measurements, one table row of medians.
row() {
  local name=$1 lines="" line i
  shift
  for i in $(seq "$runs"); do
    line=$(measure "$@")
    echo "  $name run $i: $line" >&2
    lines+="$line"$'\n'
  done
  local h x r f
  h=$(column_median "$lines" 1)
  x=$(column_median "$lines" 2)
  r=$(column_median "$lines" 3)
  f=$(printf '%s' "$lines" | cut -d' ' -f4 | sort | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  together[$name]=$(awk -v h="$h" -v x="$x" 'BEGIN { printf "%.2f", h + x }')
  printf '| %s | %s %% | %s %% | %s %% | %s MB | %s |\n' "$name" "$h" "$x" "${together[$name]}" "$r" "$f"
}

hack=("$binary" --root --seed 11 --endpoint "$endpoint")
echo "| program and screen | hack | X server | together | resident | presents/s |"
echo "|---|---|---|---|---|---|"
# The reference's square, step and rate for each screen: the hack's sprite there is 0.1375 of the
# height, moves a 10.41th of the height a second on each axis, and is presented at 60 Hz (the
# preview's at 30 Hz, a pixel a present).
declare -A square=([1920x1080]="149 2 60" [3840x2160]="297 3 60" [560x315]="43 1 30")
for screen in 1920x1080 3840x2160 560x315; do
  start_xvfb "$screen" "$work" || { echo "Xvfb did not start" >&2; exit 1; }
  row "zibbles $screen" "${hack[@]}"
  # shellcheck disable=SC2086 # the square's three numbers are three arguments
  row "reference $screen" "$reference" copy ${square[$screen]}
  if [ "$screen" = 1920x1080 ]; then
    row "reference wake-ups only" "$reference" wake
    for peer in "${peers[@]}"; do
      row "$peer $screen" "$peer_dir/$peer" -root
    done
  fi
  kill "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""
done
echo
for screen in 1920x1080 3840x2160 560x315; do
  awk -v z="${together[zibbles $screen]}" -v p="${together[reference $screen]}" -v n="$screen" \
    'BEGIN { if (p > 0) printf "zibbles / reference at %s, hack + X server: %.2f\n", n, z / p }'
done
for peer in "${peers[@]}"; do
  awk -v z="${together[zibbles 1920x1080]}" -v p="${together[$peer 1920x1080]}" -v n="$peer" \
    'BEGIN { if (p > 0) printf "zibbles / %s at 1920x1080, hack + X server: %.2f\n", n, z / p }'
done

# The intervals between presents, from the hack's own trace, while the sprite moves.
start_xvfb 1920x1080 "$work" || { echo "Xvfb did not start" >&2; exit 1; }
"${hack[@]}" --trace "$work/trace" 2>/dev/null &
host_pid=$!
sleep "$((settle + interval_seconds))"
kill -TERM "$host_pid"; wait "$host_pid" || true; host_pid=""
grep '"frame.presented"' "$work/trace" | sed 's/.*"t":\([0-9.e+-]*\),.*/\1/' |
  awk -v from="$settle" 'NR == 1 { t0 = $1 } $1 - t0 >= from { if (seen) print 1000 * ($1 - last); last = $1; seen = 1 }' |
  sort -n | awk '{ v[NR] = $1 } END { if (NR == 0) { print "no presents traced"; exit }
    printf "present intervals over %d presents: median %.2f ms, 99th percentile %.2f ms, max %.2f ms (1/60 s = 16.67 ms)\n",
      NR + 1, v[int((NR + 1) / 2)], v[int(0.99 * NR + 0.5)], v[NR] }'
kill "$xvfb_pid"; wait "$xvfb_pid" 2>/dev/null || true; xvfb_pid=""

# A view too small to move: after its first frame nothing on screen changes.
start_xvfb 30x300 "$work" || { echo "Xvfb did not start" >&2; exit 1; }
"$binary" --root --seed 11 --no-network --figure "$repo/tests/data/decode/golden-24x24.svg" \
  --trace "$work/still" 2>/dev/null &
host_pid=$!
sleep 5
kill -TERM "$host_pid"; wait "$host_pid" || true; host_pid=""
echo "a view too small to move (30x300), 5 s: $(grep -c '"frame.presented"' "$work/still") present(s), the first frame only"

#!/usr/bin/env bash
# CPU of the desktop host as a native Wayland client: `zibbles --fullscreen` on a 1920 × 1080
# output of a headless sway (pixman renderer), figures from the demo chain, damaged rectangles
# only versus a full redraw of every frame.
# Usage: bench/wayland-cpu.sh ZIBBLES_BINARY [SECONDS [RUNS]]   (defaults: 20 s, 3 runs each)
# Prints one line per run and the medians: CPU seconds per second of running (utime + stime of
# /proc/PID/stat, as a percentage of one core) for the host, for sway and for both, and frames
# presented per second as the host counts them.
set -euo pipefail
binary=$1
seconds=${2:-20}
runs=${3:-3}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/wayland-lib.sh"
settle=3 # seconds for the first figure to arrive before measuring

if missing=$(missing_wayland_tool); then
  echo "$missing is not installed" >&2
  exit 1
fi
work=$(mktemp -d)
chmod 755 "$work"
host_pid=""
export ZIBBLES_CHAIN_DIR="$work/chain"
ZIBBLES_CHAIN_PORT=$(free_port)
export ZIBBLES_CHAIN_PORT
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  stop_sway
  "$repo/demo/chain" down >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

"$repo/demo/chain" up >/dev/null
mkdir -p "$work/bin"
cp "$binary" "$work/bin/zibbles"
chmod -R a+rX "$work/bin"
start_sway "$work/session" "resolution 1920x1080" || { echo "sway did not start" >&2; exit 1; }
ticks_per_second=$(getconf CLK_TCK)

# utime + stime of a process, in clock ticks (fields 14 and 15; the name may hold blanks).
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# run MODE_FLAGS...: prints "host% sway% frames/s"
run() {
  session_prefix
  "${session_run[@]}" "$work/bin/zibbles" --fullscreen --seed 11 \
    --endpoint "http://127.0.0.1:$ZIBBLES_CHAIN_PORT" "$@" 2>"$work/stderr" &
  host_pid=$!
  sleep "$settle"
  local host0 sway0 host1 sway1
  host0=$(cpu_ticks "$host_pid")
  sway0=$(cpu_ticks "$sway_pid")
  sleep "$seconds"
  host1=$(cpu_ticks "$host_pid")
  sway1=$(cpu_ticks "$sway_pid")
  kill -TERM "$host_pid"
  wait "$host_pid" || true
  host_pid=""
  local frames
  frames=$(awk '/frames presented in/ { printf "%.1f", $2 / $6 }' "$work/stderr")
  awk -v h=$((host1 - host0)) -v s=$((sway1 - sway0)) -v t="$seconds" -v k="$ticks_per_second" \
    -v f="${frames:-0}" 'BEGIN { printf "%.2f %.2f %.2f %s\n", 100 * h / k / t, 100 * s / k / t, 100 * (h + s) / k / t, f }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

declare -A results
for mode in damaged full; do
  flags=()
  [ "$mode" = full ] && flags=(--full-redraw)
  for i in $(seq "$runs"); do
    line=$(run "${flags[@]}")
    read -r host sway both fps <<<"$line"
    echo "$mode run $i: host $host% of a core, sway $sway%, both $both%, $fps frames/s"
    results[$mode]+="$line"$'\n'
  done
done

for mode in damaged full; do
  column() { printf '%s' "${results[$mode]}" | cut -d' ' -f"$1" | median; }
  echo "median $mode: host $(column 1)% of a core, sway $(column 2)%, both $(column 3)%, $(column 4) frames/s"
  declare "median_$mode=$(column 3)"
done
awk -v d="$median_damaged" -v f="$median_full" \
  'BEGIN { if (d > 0) printf "full redraw / damaged: %.1f× the CPU of host and sway together\n", f / d }'

#!/usr/bin/env bash
# CPU of the saver as a native Wayland client: `zibbles --fullscreen` (an overlay layer surface)
# on a 1920 × 1080 output of a headless sway (pixman renderer), figures from the demo chain:
#   - output shown: damaged rectangles only, a full redraw of every frame, and the Wayland
#     reference client (bench/WaylandReference: a frame-paced square of the sprite's size and
#     step) in the same run; zibbles' ratio to it, host and sway together;
#   - output dark: the saver's CPU over the measuring time, and how long after the output is
#     shown again the first frame is presented (from its --trace). sway 1.7 cannot power off a
#     headless output ("dpms off" fails to commit there); when it does not take, the saver runs
#     as an xdg toplevel (ZIBBLES_WAYLAND_SHELL=xdg) on a workspace switched away instead, which
#     sway does not show either, and the lines say "hidden" instead of "dpms off".
#   - a view nobody sees beside a shown one: the saver as full-screen xdg toplevels (so that a
#     workspace switched away can hide one) on one output, then on two outputs with the second
#     one's workspace switched away; the saver's CPU (all its threads, from schedstat) and its
#     presents per second on each output. BENCH_BEFORE=PATH runs an earlier build alongside, one
#     run of each in turn; BENCH_HIDDEN_SIZE=WxH sizes the hidden output (1920x1080).
# Usage: bench/wayland-cpu.sh ZIBBLES_BINARY WAYLAND_REFERENCE_BINARY [SECONDS [RUNS]]
#   (defaults: 10 s, 3 runs each); BENCH_ONLY=hidden measures only the hidden views.
# Prints one line per run and the medians: CPU seconds per second of running (utime + stime of
# /proc/PID/stat, as a percentage of one core) for the client, for sway and for both, and frames
# presented per second as the saver counts them.
set -euo pipefail
binary=$1
reference=$2
seconds=${3:-10}
runs=${4:-3}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/system/lib/wayland-lib.sh"
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
cp "$reference" "$work/bin/reference"
[ -n "${BENCH_BEFORE:-}" ] && cp "$BENCH_BEFORE" "$work/bin/before"
chmod -R a+rX "$work/bin"
start_sway "$work/session" "resolution 1920x1080" || { echo "sway did not start" >&2; exit 1; }
ticks_per_second=$(getconf CLK_TCK)
trace="$work/session/trace.jsonl"

# utime + stime of a process, in clock ticks (fields 14 and 15; the name may hold blanks).
cpu_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
presents() { grep -c '"frame.presented"' "$trace" 2>/dev/null || true; }

# start MODE: the client of that mode (damaged, full, reference, dark) in the background.
start() {
  session_prefix
  case $1 in
    reference) "${session_run[@]}" "$work/bin/reference" 2>"$work/stderr" & ;;
    *)
      # Only the dark run writes a trace (its presents are counted); the others write nothing
      # that the reference does not.
      local flags=() shell=layer
      [ "$1" = full ] && flags=(--full-redraw)
      [ "$1" = dark ] && flags=(--trace "$trace")
      [ "$1" = dark ] && [ "$dark_by" = hidden ] && shell=xdg
      "${session_run[@]}" ZIBBLES_WAYLAND_SHELL=$shell "$work/bin/zibbles" --fullscreen --seed 11 \
        --endpoint "http://127.0.0.1:$ZIBBLES_CHAIN_PORT" "${flags[@]}" 2>"$work/stderr" &
      ;;
  esac
  host_pid=$!
}
stop() {
  kill -TERM "$host_pid"
  wait "$host_pid" || true
  host_pid=""
}
# measure: prints "client% sway% both%" over the measuring time.
measure() {
  local host0 sway0 host1 sway1
  host0=$(cpu_ticks "$host_pid")
  sway0=$(cpu_ticks "$sway_pid")
  sleep "$seconds"
  host1=$(cpu_ticks "$host_pid")
  sway1=$(cpu_ticks "$sway_pid")
  awk -v h=$((host1 - host0)) -v s=$((sway1 - sway0)) -v t="$seconds" -v k="$ticks_per_second" \
    'BEGIN { printf "%.2f %.2f %.2f", 100 * h / k / t, 100 * s / k / t, 100 * (h + s) / k / t }'
}
# dark / light: the output powered off and on, or the saver's workspace switched away and back.
dark() {
  if [ "$dark_by" = "dpms off" ]; then as_session_user swaymsg output HEADLESS-1 dpms off >/dev/null
  else as_session_user swaymsg workspace 9 >/dev/null; fi
}
light() {
  if [ "$dark_by" = "dpms off" ]; then as_session_user swaymsg output HEADLESS-1 dpms on >/dev/null
  else as_session_user swaymsg workspace 1 >/dev/null; fi
}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

as_session_user swaymsg output HEADLESS-1 dpms off >/dev/null || true
if as_session_user swaymsg -t get_outputs | grep -q '"dpms": false'; then dark_by="dpms off"; else dark_by=hidden; fi
as_session_user swaymsg output HEADLESS-1 dpms on >/dev/null || true

declare -A results
for i in $(seq "$runs"); do
  [ "${BENCH_ONLY:-}" = hidden ] && break
  for mode in damaged full reference; do
    start "$mode"
    sleep "$settle"
    line="$(measure)"
    frames=""
    stop
    [ "$mode" != reference ] && frames=$(awk '/frames presented in/ { printf "%.1f", $2 / $6 }' "$work/stderr")
    echo "$mode run $i: client $(cut -d' ' -f1 <<<"$line")% of a core, sway $(cut -d' ' -f2 <<<"$line")%, both $(cut -d' ' -f3 <<<"$line")%${frames:+, $frames frames/s}"
    results[$mode]+="$line"$'\n'
  done
  start dark
  sleep "$settle"
  dark
  sleep 1
  line="$(measure)"
  before=$(presents)
  shown_at=$(now_ms)
  light
  first=""
  for _ in $(seq 1000); do
    [ "$(presents)" -gt "$before" ] && { first=$(($(now_ms) - shown_at)); break; }
    sleep 0.002
  done
  stop
  echo "$dark_by run $i: saver $(cut -d' ' -f1 <<<"$line")% of a core, sway $(cut -d' ' -f2 <<<"$line")%; first present ${first:-none in 2 s} ms after the output was shown again"
  results[dark]+="$line"$'\n'
  results[first]+="${first:-99999}"$'\n'
done

column() { printf '%s' "${results[$1]}" | cut -d' ' -f"$2" | median; }
if [ "${BENCH_ONLY:-}" != hidden ]; then
for mode in damaged full reference; do
  echo "median $mode: client $(column "$mode" 1)% of a core, sway $(column "$mode" 2)%, both $(column "$mode" 3)%"
done
echo "median $dark_by: saver $(column dark 1)% of a core (target ≤ 0.1 %); first present after shown again $(column first 1) ms (target ≤ 100 ms)"
awk -v d="$(column damaged 3)" -v f="$(column full 3)" -v r="$(column reference 3)" 'BEGIN {
  if (d > 0) printf "full redraw / damaged: %.1f× the CPU of client and sway together\n", f / d
  if (r > 0) printf "zibbles / reference: %.2f× the CPU of client and sway together (target ≤ 1.15×)\n", d / r
}'
fi

# A view nobody sees beside a shown one. Nanoseconds that a process's threads have run.
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ t += $1 } END { printf "%.0f\n", t }'; }
# presents_on OUTPUT: the saver's presents on that output so far.
presents_on() { grep '"frame.presented"' "$trace" 2>/dev/null | grep -c "\"output\":\"$1\"" || true; }
# measure_views LABEL CASE: runs that build as xdg toplevels on every output and prints
# "saver% sway% presents/s-on-HEADLESS-1 presents/s-on-HEADLESS-2".
measure_views() {
  local host0 sway0 host1 sway1 one0 two0
  rm -f "$trace"
  session_prefix
  "${session_run[@]}" ZIBBLES_WAYLAND_SHELL=xdg "$work/bin/$1" --fullscreen --seed 11 \
    --endpoint "http://127.0.0.1:$ZIBBLES_CHAIN_PORT" --trace "$trace" 2>"$work/stderr" &
  host_pid=$!
  sleep "$settle"
  [ "$2" = "two outputs, one hidden" ] && as_session_user swaymsg focus output HEADLESS-2, workspace 9 >/dev/null
  sleep 1
  host0=$(cpu_ns "$host_pid") sway0=$(cpu_ns "$sway_pid") one0=$(presents_on HEADLESS-1) two0=$(presents_on HEADLESS-2)
  sleep "$seconds"
  host1=$(cpu_ns "$host_pid") sway1=$(cpu_ns "$sway_pid")
  awk -v h=$((host1 - host0)) -v s=$((sway1 - sway0)) -v t="$seconds" \
    -v a=$(($(presents_on HEADLESS-1) - one0)) -v b=$(($(presents_on HEADLESS-2) - two0)) \
    'BEGIN { printf "%.3f %.3f %.1f %.1f", h / t / 1e7, s / t / 1e7, a / t, b / t }'
  stop
  [ "$2" = "two outputs, one hidden" ] && as_session_user swaymsg workspace 2 >/dev/null
  return 0
}
builds=(zibbles)
[ -n "${BENCH_BEFORE:-}" ] && builds=(before zibbles)
declare -A views
for setup in "one output" "two outputs, one hidden"; do
  if [ "$setup" = "two outputs, one hidden" ]; then
    as_session_user swaymsg create_output >/dev/null
    as_session_user swaymsg output HEADLESS-2 resolution "${BENCH_HIDDEN_SIZE:-1920x1080}" >/dev/null
    as_session_user swaymsg focus output HEADLESS-1 >/dev/null
  fi
  for i in $(seq "$runs"); do
    for build in "${builds[@]}"; do
      line=$(measure_views "$build" "$setup")
      echo "$setup, $build run $i: saver $(cut -d' ' -f1 <<<"$line")% of a core, sway $(cut -d' ' -f2 <<<"$line")%, presents/s $(cut -d' ' -f3 <<<"$line") on HEADLESS-1 and $(cut -d' ' -f4 <<<"$line") on HEADLESS-2"
      views["$setup/$build"]+="$line"$'\n'
    done
  done
done
vcolumn() { printf '%s' "${views[$1]}" | cut -d' ' -f"$2" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
vspread() { printf '%s' "${views[$1]}" | cut -d' ' -f"$2" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { print lo "-" hi }'; }
for build in "${builds[@]}"; do
  for setup in "one output" "two outputs, one hidden"; do
    echo "median $setup, $build: saver $(vcolumn "$setup/$build" 1)% of a core ($(vspread "$setup/$build" 1)), sway $(vcolumn "$setup/$build" 2)%, presents/s $(vcolumn "$setup/$build" 3) and $(vcolumn "$setup/$build" 4)"
  done
  awk -v one="$(vcolumn "one output/$build" 1)" -v two="$(vcolumn "two outputs, one hidden/$build" 1)" \
    -v b="$build" 'BEGIN { if (one > 0) printf "%s: two outputs with one hidden / one output: %.2f× the saver'"'"'s CPU\n", b, two / one }'
done

#!/usr/bin/env bash
# The saver at a fractional scale on KDE's compositor (kwin_wayland 5.27, nested in headless sway
# as tests/system/wayland/wayland-fractional.sh runs it, 1280 × 720 points): drawn at the scale kwin
# prefers (buffers of the output's device size) against the whole-scale path it takes where the
# fractional-scale protocol is absent (ZIBBLES_WAYLAND_IGNORE_GLOBALS hides it: buffers at the
# output's whole scale, 2, which kwin shrinks). The two alternate in one run, on a figure given
# with --figure.
# Usage: bench/wayland-fractional.sh ZIBBLES_BINARY [SCALE [SECONDS [RUNS]]]
#   (defaults: 1.5, 10 s, 3 runs each)
# Prints one line per run and the medians: the saver's CPU (schedstat, % of one core) and its
# resident memory, and the ratios of the fractional path to the whole-scale one.
set -euo pipefail
binary=$1
scale=${2:-1.5}
seconds=${3:-10}
runs=${4:-3}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tests/system/lib/wayland-lib.sh"
source "$repo/tests/system/lib/idle-lib.sh"

work=$(mktemp -d)
saver=""
kwin_pid=""
cleanup() {
  [ -n "$saver" ] && kill "$saver" 2>/dev/null
  [ -n "$kwin_pid" ] && kill "$kwin_pid" 2>/dev/null
  stop_sway
  rm -rf "$work"
}
trap cleanup EXIT
idle_copy_binary "$binary" "$work"
start_sway_for_kwin "$work/out" ||
  { echo "sway did not start" >&2; exit 1; }
start_kwin "$work" --wayland-display "$WAYLAND_DISPLAY" --scale "$scale" ||
  { echo "kwin did not start" >&2; exit 1; }

for ((run = 1; run <= runs; run++)); do
  for path in fractional whole; do
    hide=()
    [ "$path" = whole ] && hide=(ZIBBLES_WAYLAND_IGNORE_GLOBALS=wp_fractional_scale_manager_v1)
    trace=$work/out/$path-$run.trace
    "${kwin_run[@]}" "${hide[@]}" "$work/bin/zibbles" --fullscreen --no-network \
      --figure "$work/bin/figure.svg" --trace "$trace" 2>/dev/null &
    saver=$!
    # Measured once it presents at its settled size, not during its start.
    settled() { [ -e "$trace" ] && [ "$(grep -c '"frame.presented"' "$trace")" -ge 30 ]; }
    wait_for 20 settled || { echo "the $path run presented nothing" >&2; exit 1; }
    cpu=$(cpu_percent "$saver" "$seconds")
    rss=$(rss_kb "$saver")
    size=$(grep '"frame.presented"' "$trace" | tail -n 1 | grep -o '"width":[0-9]*,"height":[0-9]*' | tr -dc '0-9,' | tr , x)
    echo "$path run $run: buffers $size, cpu ${cpu}%, rss ${rss} kB" | tee -a "$work/lines"
    kill "$saver"
    wait "$saver" 2>/dev/null || true
    saver=""
  done
done

median() { grep "^$1 " "$work/lines" | sed "s/.*$2 \([0-9.]*\).*/\1/" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for path in fractional whole; do
  cpu[$([ $path = fractional ] && echo 0 || echo 1)]=$(median $path cpu)
  rss[$([ $path = fractional ] && echo 0 || echo 1)]=$(median $path rss)
done
echo "median at $scale: fractional ${cpu[0]}% ${rss[0]} kB, whole-scale ${cpu[1]}% ${rss[1]} kB"
awk -v a="${cpu[0]}" -v b="${cpu[1]}" -v c="${rss[0]}" -v d="${rss[1]}" \
  'BEGIN { printf "fractional / whole-scale: cpu %.2f, rss %.2f\n", a / b, c / d }'

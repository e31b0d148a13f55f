#!/usr/bin/env bash
# What `zibbles --idle` costs while it waits: the launcher alone, as a whole process, with a delay
# it never reaches, on each session it serves here: headless mutter (org.gnome.Mutter.IdleMonitor
# over sd-bus), kwin_wayland --virtual (ext_idle_notifier_v1), headless sway 1.7
# (org_kde_kwin_idle) and Xvfb (MIT-SCREEN-SAVER). For each: the
# CPU its threads used (time on a core from /proc/PID/task/*/schedstat, % of one core) and its
# resident memory (VmRSS at the end), medians of RUNS runs; the targets are 0.05 % and 10 MB.
# Usage: bench/idle-launcher.sh ZIBBLES_BINARY [SECONDS [RUNS]]   (defaults: 30 s, 3 runs)
set -euo pipefail
binary=$(realpath "$1")
seconds=${2:-30}
runs=${3:-3}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tests/system/lib/idle-lib.sh"
source "$repo/tests/system/lib/wayland-lib.sh"
source "$repo/tests/system/lib/x11-lib.sh"
settle=2 # seconds for the launcher to find its source and arm it

work=$(mktemp -d)
launcher=""
mutter_pid=""
kwin_pid=""
xvfb_pid=""
cleanup() {
  [ -n "$launcher" ] && kill "$launcher" 2>/dev/null
  [ -n "$mutter_pid" ] && kill "$mutter_pid" 2>/dev/null
  [ -n "$kwin_pid" ] && kill "$kwin_pid" 2>/dev/null
  stop_sway
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
idle_copy_binary "$binary" "$work"

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# measure COMMAND...: the launcher for settle + seconds; prints "cpu% rssMB".
measure() {
  "$@" --idle 86400 --no-network 2>"$work/launcher.err" &
  launcher=$!
  sleep "$settle"
  kill -0 "$launcher" || { cat "$work/launcher.err" >&2; exit 1; }
  local cpu rss
  cpu=$(cpu_percent "$launcher" "$seconds")
  rss=$(rss_kb "$launcher")
  kill -TERM "$launcher"
  wait "$launcher" || true
  launcher=""
  awk -v c="$cpu" -v r="$rss" 'BEGIN { printf "%.4f %.1f\n", c, r / 1024 }'
}

# row NAME COMMAND...: RUNS measurements, one table row of medians.
row() {
  local name=$1 lines="" line i
  shift
  for i in $(seq "$runs"); do
    line=$(measure "$@")
    echo "  $name run $i: $line" >&2
    lines+="$line"$'\n'
  done
  printf '| %s | %s %% | %s MB |\n' "$name" \
    "$(printf '%s' "$lines" | cut -d' ' -f1 | median)" "$(printf '%s' "$lines" | cut -d' ' -f2 | median)"
}

echo "| session (idle source) | launcher CPU | resident |"
echo "|---|---|---|"
start_mutter "$work" || { echo "mutter did not start" >&2; exit 1; }
mutter_prefix
row "headless mutter (org.gnome.Mutter.IdleMonitor)" "${mutter_run[@]}" "$work/bin/zibbles"
kill "$mutter_pid"; mutter_pid=""

start_kwin "$work" || { echo "kwin_wayland did not start" >&2; exit 1; }
row "kwin_wayland 5.27 --virtual (ext_idle_notifier_v1)" "${kwin_run[@]}" "$work/bin/zibbles"
kill "$kwin_pid"; kwin_pid=""

start_sway "$work/session" "resolution 1280x720" || { echo "sway did not start" >&2; exit 1; }
session_prefix
row "headless sway 1.7 (org_kde_kwin_idle)" "${session_run[@]}" "$work/bin/zibbles"
stop_sway
unset WAYLAND_DISPLAY SWAYSOCK

start_xvfb 1280x720 "$work" || { echo "Xvfb did not start" >&2; exit 1; }
as_user=(env -i PATH=/usr/bin:/bin HOME="$work/out" DISPLAY="$DISPLAY")
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_user[@]}")
row "Xvfb (MIT-SCREEN-SAVER)" "${as_user[@]}" "$work/bin/zibbles"

#!/usr/bin/env bash
# Runs the desktop host in a window on a private X server and checks, from screenshots, that the
# dark grey background fills its window with the figure on it, and that SIGTERM ends it cleanly.
# Usage: desktop-screenshot.sh ZIBBLES_BINARY FIGURE_FILE
set -uo pipefail
binary=$1
figure=$2
here=$(dirname "$0")
source "$here/../lib/steps.sh"
source "$here/../lib/x11-lib.sh"
work=$(mktemp -d)
xvfb_pid=""
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
step_logs "$work/xvfb.log" "$work/stderr"
check "Xvfb starts" start_xvfb 800x600 "$work" || finish

# In sanitizer builds: a buffer D-Bus keeps for good is not the host's leak.
export LSAN_OPTIONS="suppressions=$here/../lib/lsan-desktop.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
"$binary" --window 640x360 --seed 3 --no-network --figure "$figure" 2>"$work/stderr" &
host_pid=$!
# White level 0.1 is the byte 26 (0x1A): it must cover most of the 640 × 360 window, and the
# figure's blue body (#4F86D1) must show on it.
window_drawn() {
  local histogram grey blue
  kill -0 "$host_pid" 2>/dev/null || { problem "zibbles ended"; return 1; }
  histogram=$(root_histogram "$work/shot.png")
  grey=$(pixels_of '#1A1A1A' <<<"$histogram")
  blue=$(pixels_of '#4F86D1' <<<"$histogram")
  measured pixels "$grey dark grey, $blue of the figure's blue"
  [ "$grey" -gt 200000 ] && [ "$blue" -gt 0 ]
}
check "the window shows the dark grey background and the figure" wait_for 10 window_drawn

since=$(clock_ms)
kill -TERM "$host_pid"
check "SIGTERM ends it within 2 s with exit code 0" stops_with 0 2000 "$since" "$host_pid" && host_pid=""
finish

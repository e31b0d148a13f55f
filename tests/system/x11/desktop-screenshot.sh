#!/usr/bin/env bash
# Runs the desktop host for a few seconds on a private X server, takes a screenshot and checks
# that the dark grey background fills its window and that SIGTERM ends it cleanly.
# Usage: desktop-screenshot.sh ZIBBLES_BINARY FIGURE_FILE
set -euo pipefail
binary=$1
figure=$2
work=$(mktemp -d)
xvfb_pid=""
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(cat "$work/display")"

# In sanitizer builds: a buffer D-Bus keeps for good is not the host's leak.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lib/lsan-desktop.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
"$binary" --window 640x360 --seed 3 --no-network --figure "$figure" 2>"$work/stderr" &
host_pid=$!
sleep 3
kill -0 "$host_pid" || { echo "zibbles ended early:"; cat "$work/stderr"; exit 1; }
xwd -root -silent | /usr/bin/convert xwd:- "png:$work/shot.png"

# White level 0.1 is the byte 26 (0x1A): it must cover most of the 640 × 360 window.
grey=$(/usr/bin/convert "$work/shot.png" -format %c histogram:info:- |
  awk 'toupper($0) ~ /#1A1A1A/ { gsub(":", "", $1); print $1 }')
echo "dark grey pixels: ${grey:-0}"
[ "${grey:-0}" -gt 200000 ] || { echo "no dark grey background"; exit 1; }
# The figure's colours show too (its blue body, #4f86d1).
/usr/bin/convert "$work/shot.png" -format %c histogram:info:- | grep -qi '#4F86D1' ||
  { echo "no figure on screen"; exit 1; }

kill -TERM "$host_pid"
status=0
wait "$host_pid" || status=$?
host_pid=""
[ "$status" -eq 0 ] || { echo "zibbles exited with $status after SIGTERM"; cat "$work/stderr"; exit 1; }
echo "ok"

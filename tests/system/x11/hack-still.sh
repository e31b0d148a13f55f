#!/usr/bin/env bash
# A hack whose view is too small for the sprite to move presents its first frame and then nothing,
# by its own trace, over a few seconds on a private X server.
# Usage: hack-still.sh ZIBBLES_BINARY FIGURE_FILE
set -euo pipefail
binary=$1
figure=$2
source "$(dirname "$0")/../lib/x11-lib.sh"
work=$(mktemp -d)
xvfb_pid=""
host_pid=""
cleanup() {
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# 30 points wide: narrower than the sprite, which is about an eighth of the height.
start_xvfb 30x300 "$work" || { echo "Xvfb did not start"; exit 1; }
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lib/lsan-desktop.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
"$binary" --root --seed 3 --no-network --figure "$figure" --trace "$work/trace" 2>"$work/stderr" &
host_pid=$!
sleep 3
kill -TERM "$host_pid"
status=0
wait "$host_pid" || status=$?
host_pid=""
[ "$status" -eq 0 ] || { echo "zibbles exited with $status"; cat "$work/stderr"; exit 1; }
presents=$(grep -c '"frame.presented"' "$work/trace" || true)
echo "presents in 3 s: $presents"
[ "$presents" -eq 1 ] || { echo "expected the first frame only"; exit 1; }
echo "ok"

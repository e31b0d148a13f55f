#!/usr/bin/env bash
# A hack whose view is too small for the sprite to move presents its first frame and then nothing,
# by its own trace, over a few seconds on a private X server.
# Usage: hack-still.sh ZIBBLES_BINARY FIGURE_FILE
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

# 30 points wide: narrower than the sprite, which is about an eighth of the height.
check "Xvfb starts" start_xvfb 30x300 "$work" || finish
export LSAN_OPTIONS="suppressions=$here/../lib/lsan-desktop.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
"$binary" --root --seed 3 --no-network --figure "$figure" --trace "$work/trace" 2>"$work/stderr" &
host_pid=$!
# presents CONDITION: the hack's presents so far are so many (">= 1").
presents() {
  local count
  count=$(grep -c '"frame.presented"' "$work/trace" 2>/dev/null)
  measured presents "${count:-0}"
  let "${count:-0} $1"
}
check "the hack presents its first frame" wait_for 10 presents ">= 1"
sleep 3
check "... and nothing more in the next 3 s" presents "== 1"
since=$(clock_ms)
kill -TERM "$host_pid"
check "SIGTERM ends it within 2 s with exit code 0" stops_with 0 2000 "$since" "$host_pid" && host_pid=""
finish

#!/usr/bin/env bash
# A hack whose window is wholly covered by another presents nothing until it is uncovered, and
# then presents again at once, by its own trace, on a private X server (no window manager, so
# the server itself says when a window is obscured).
# Usage: hack-covered.sh ZIBBLES_BINARY FIGURE_FILE
set -euo pipefail
binary=$1
figure=$2
source "$(dirname "$0")/../lib/x11-lib.sh"
work=$(mktemp -d)
xvfb_pid=""
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
presents() {
  local n
  n=$(grep -c '"frame.presented"' "$work/trace" 2>/dev/null) || true
  echo "${n:-0}"
}
# wait_for SECONDS COMMAND...: true once the command is, false after SECONDS.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}
window_named() { xwininfo -name "$1" 2>/dev/null | awk '/Window id:/ { print $4 }'; }
has_window() { [ -n "$(window_named "$1")" ]; }
presents_past() { [ "$(presents)" -gt "$1" ]; }

start_xvfb 640x360 "$work" || { echo "Xvfb did not start"; exit 1; }
export LSAN_OPTIONS="suppressions=$(dirname "$0")/../lib/lsan-desktop.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
# The hack's window, as a daemon would make it, and later a window over all of it.
xlogo -title hackwindow -geometry 640x360+0+0 2>/dev/null &
pids+=($!)
wait_for 10 has_window hackwindow || { echo "no window for the hack"; exit 1; }
"$binary" --window-id "$(window_named hackwindow)" --seed 3 --no-network --figure "$figure" \
  --trace "$work/trace" 2>"$work/stderr" &
host=$!
pids+=("$host")
wait_for 10 presents_past 29 || { echo "the hack did not present"; cat "$work/stderr"; exit 1; }

xlogo -title cover -geometry 640x360+0+0 2>/dev/null &
cover=$!
pids+=("$cover")
wait_for 10 has_window cover || { echo "no covering window"; exit 1; }
# The notice reaches the hack within a frame or two (longer on a busy machine); a present
# already under way may land first.
quiet() {
  local before
  before=$(presents)
  sleep 0.3
  [ "$(presents)" -eq "$before" ]
}
wait_for 10 quiet || { echo "the covered hack went on presenting"; exit 1; }
covered=$(presents)
sleep 2
during=$(($(presents) - covered))
echo "presents in 2 s while covered: $during"
[ "$during" -eq 0 ] || { echo "a covered hack presented"; exit 1; }

kill "$cover"
uncovered=$(presents)
wait_for 5 presents_past "$uncovered" || { echo "no present after it was uncovered"; exit 1; }
kill -TERM "$host"
status=0
wait "$host" || status=$?
[ "$status" -eq 0 ] || { echo "zibbles exited with $status"; cat "$work/stderr"; exit 1; }
echo "ok"

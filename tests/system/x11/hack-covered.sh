#!/usr/bin/env bash
# A hack whose window is wholly covered by another presents nothing until it is uncovered, and
# then presents again at once, by its own trace, on a private X server (no window manager, so
# the server itself says when a window is obscured).
# Usage: hack-covered.sh ZIBBLES_BINARY FIGURE_FILE
set -uo pipefail
binary=$1
figure=$2
source "$(dirname "$0")/../lib/steps.sh"
source "$(dirname "$0")/../lib/x11-lib.sh"
# The two windows are the server's clients: they go with it.
host_server 640x360
# count_presents: presents, the hack's presents so far.
count_presents() {
  presents=$(grep -c '"frame.presented"' "$work/trace" 2>/dev/null)
  : "${presents:=0}"
}
# presents_past N: it has presented more than N frames.
presents_past() {
  count_presents
  measured presents "$presents"
  [ "$presents" -gt "$1" ]
}
window_named() { xwininfo -name "$1" 2>/dev/null | awk '/Window id:/ { print $4 }'; }
has_window() { [ -n "$(window_named "$1")" ]; }

# The hack's window, as a daemon would make it, and later a window over all of it.
xlogo -title hackwindow -geometry 640x360+0+0 2>/dev/null &
check "the hack's window is mapped" wait_for 10 has_window hackwindow || finish
start_host --window-id "$(window_named hackwindow)" --seed 3 --no-network --figure "$figure" \
  --trace "$work/trace"
check "the hack presents 30 frames" wait_for 10 presents_past 29 || finish

xlogo -title cover -geometry 640x360+0+0 2>/dev/null &
cover=$!
check "a window covers it" wait_for 10 has_window cover || finish
# The notice reaches the hack within a frame or two (longer on a busy machine); a present
# already under way may land first.
quiet() {
  count_presents
  local before=$presents
  sleep 0.3
  count_presents
  measured "presents in 0.3 s" $((presents - before))
  [ "$presents" -eq "$before" ]
}
check "covered, it stops presenting" wait_for 10 quiet
count_presents
covered=$presents
sleep 2
none_while_covered() {
  count_presents
  measured "presents while covered" $((presents - covered))
  [ "$presents" -eq "$covered" ]
}
check "... and presents nothing in the next 2 s" none_while_covered

kill "$cover"
count_presents
check "uncovered, it presents again" wait_for 5 presents_past "$presents"
sigterm_ends_host
finish

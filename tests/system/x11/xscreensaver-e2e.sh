#!/usr/bin/env bash
# The saver inside the real screen-saver daemon: on a private X server, the daemon (as an
# unprivileged user, since it never runs hacks as root) runs only the hack built here, which
# draws figures from the demo chain. Activation must show the dark grey background and a figure;
# deactivation must end the hack (the rule of xscreensaver-lib.sh).
# Usage: xscreensaver-e2e.sh ZIBBLES_BINARY          (as root: it switches to uid 65534)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xscreensaver-lib.sh"
xs_setup "$1"
check "the daemon answers" xs_daemon_answers
check "activation starts the hack" xs_activate

check "a figure from the chain appears" wait_for 20 xs_figure_shown
grey_covers() {
  local grey
  grey=$(xs_grey_pixels)
  measured "dark grey pixels" "$grey of $((1280 * 720))"
  [ "$grey" -gt 800000 ]
}
check "the dark grey background covers the screen" grey_covers

check "deactivation ends the hack" xs_deactivate
check "the hack said it stopped" wait_for 3 grep -q "frames presented" "$daemon_log"
# The daemon destroys the window as it sends SIGTERM, sometimes mid-frame: the hack must end
# every time, never hang.
for i in 1 2 3 4 5 6; do
  check "more activations ($i of 6): shown a moment, the hack ends at deactivation" xs_cycle "0.$((RANDOM % 9 + 1))" ||
    xs_deactivate >/dev/null
done
check "no sanitizer report from the hacks" xs_no_sanitizer_report

xs_stop_daemon
finish

#!/usr/bin/env bash
# The saver inside the real screen-saver daemon: on a private X server, the daemon (as an
# unprivileged user, since it never runs hacks as root) runs only the hack built here, which
# draws figures from the demo chain. Activation must show the dark grey background and a figure;
# deactivation must end the hack.
# Usage: xscreensaver-e2e.sh ZIBBLES_BINARY          (as root: it switches to uid 65534)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xscreensaver-lib.sh"
xs_setup "$1"
check "the daemon answers" xs_daemon_answers
check "activation starts the hack" xs_activate

check "a figure from the chain appears" wait_for 20 xs_figure_shown
grey=$(xs_grey_pixels)
echo "dark grey pixels: $grey of $((1280 * 720)); figure pixels: $(xs_figure_pixels)"
check "the dark grey background covers the screen" test "$grey" -gt 800000

check "deactivation ends the hack" xs_deactivate 5
check "the hack said it stopped" wait_for 3 grep -q "frames presented" "$daemon_log"
# The daemon destroys the window as it sends SIGTERM, sometimes mid-frame: the hack must end
# every time, never hang.
cycle() {
  local i
  for i in 1 2 3 4 5 6; do
    xs_activate || return 1
    sleep 0.$((RANDOM % 9 + 1))
    xs_deactivate 4 || return 1
  done
}
check "six more activations, each hack ends at deactivation" cycle
check "no sanitizer report from the hacks" xs_no_sanitizer_report

xs_show_log_on_failure
xs_stop_daemon
finish

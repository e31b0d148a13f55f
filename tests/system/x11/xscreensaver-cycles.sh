#!/usr/bin/env bash
# A night of the real screen-saver daemon, shortened: on a private X server with two screens,
# 40 activations and deactivations 1 to 5 s apart. Half-way the chain goes away; ten cycles
# later it comes back. Every activation must show exactly one hack per screen, every
# deactivation end them by the rule of xscreensaver-lib.sh, and once the chain is back the
# figures must be too. Each cycle is a step of its own, with its own lines of the daemon's log.
# Usage: xscreensaver-cycles.sh ZIBBLES_BINARY [CYCLES]   (as root: it switches to uid 65534)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xscreensaver-lib.sh"
cycles=${2:-40}
outage_from=$((cycles / 2))
outage_until=$((outage_from + (cycles >= 30 ? 10 : cycles / 4)))
xs_setup "$1" 2 640x400
check "the daemon answers" xs_daemon_answers

# show_figure WHEN: an activation held until a figure is on screen 0, then a deactivation.
show_figure() {
  check "$1: activation starts a hack on each screen" xs_activate &&
    check "$1: a figure from the chain appears" wait_for 20 xs_figure_shown
  check "$1: deactivation ends every hack" xs_deactivate
}
show_figure "first activation"

chain=up
for ((i = 1; i <= cycles; i++)); do
  if [ "$i" -eq "$outage_from" ]; then
    xs_chain_down
    chain=down
  elif [ "$i" -eq "$outage_until" ]; then
    check "the chain comes back at cycle $i" xs_chain_up && chain=back
  fi
  if [ "$chain" = back ]; then
    # The first activation after the outage is held until the figures are back.
    show_figure "cycle $i, the chain back"
    chain=up
  else
    on=$(xs_random_seconds 1 5)
    # Whatever went wrong, no hack is left for the next cycle.
    check "cycle $i$([ "$chain" = down ] && echo ", the chain down"): one hack per screen for $on s, each ended at deactivation" \
      xs_cycle "$on" || xs_deactivate >/dev/null
  fi
  sleep "$(xs_random_seconds 1 5)"
done
check "no sanitizer report from the hacks" xs_no_sanitizer_report
check "no X error in the daemon's log" xs_no_x_error

xs_stop_daemon
finish

#!/usr/bin/env bash
# A night of the real screen-saver daemon, shortened: on a private X server with two screens,
# 40 activations and deactivations 1 to 5 s apart. Half-way the chain goes away; ten cycles
# later it comes back. Every activation must show exactly one hack per screen, every
# deactivation leave no hack 2 s after the daemon's signal, and once the chain is back the
# figures must be too.
# Usage: xscreensaver-cycles.sh ZIBBLES_BINARY [CYCLES]   (as root: it switches to uid 65534)
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xscreensaver-lib.sh"
cycles=${2:-40}
outage_from=$((cycles / 2))
outage_until=$((outage_from + (cycles >= 30 ? 10 : cycles / 4)))
xs_setup "$1" 2 640x400
check "the daemon answers" xs_daemon_answers

# show_figure: an activation held until a figure is on screen 0, then a deactivation.
show_figure() {
  xs_activate || return 1
  local shown=0
  wait_for 20 xs_figure_shown && shown=1
  xs_deactivate 2 && [ "$shown" -eq 1 ]
}
check "a figure from the chain appears" show_figure

problems=()
chain=up
for ((i = 1; i <= cycles; i++)); do
  if [ "$i" -eq "$outage_from" ]; then
    xs_chain_down
    chain=down
  elif [ "$i" -eq "$outage_until" ]; then
    xs_chain_up >/dev/null && chain=back
  fi
  if [ "$chain" = back ]; then
    # The first activation after the outage is held until the figures are back.
    check "figures are back once the chain is (cycle $i)" show_figure
    chain=up
  else
    xs_cycle "$(xs_random_seconds 1 5)" || problems+=("cycle $i: $xs_problem")
    xs_deactivate 5 >/dev/null # whatever went wrong, no hack is left for the next cycle
  fi
  sleep "$(xs_random_seconds 1 5)"
done
check "the chain came back at cycle $outage_until" test "$chain" = up
check "$cycles cycles: one hack per screen while shown, none 2 s after the signal (chain down for cycles $outage_from-$((outage_until - 1)))" \
  test "${#problems[@]}" -eq 0
for problem in "${problems[@]}"; do echo "  $problem"; done
check "no sanitizer report from the hacks" xs_no_sanitizer_report
check "no X error in the daemon's log" xs_no_x_error

xs_show_log_on_failure
xs_stop_daemon
finish

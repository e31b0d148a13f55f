#!/usr/bin/env bash
# The WinHTTP session's suite under Wine, against the loopback servers of the curl session's
# tests: the Linux build's zibbles-loopback-scenarios serves them on 127.0.0.1 while the suite
# runs, and ZIBBLES_LOOPBACK names their ports to it.
# Usage: winhttp-session.sh SUITE.exe LOOPBACK_SCENARIOS
set -uo pipefail
suite=$1 scenarios=$2
source "$(dirname "$0")/../lib/wine-lib.sh"
[[ -x $scenarios ]] || { echo "no $scenarios (build the Linux build's tests first)"; exit 77; }
wine_script_start "$suite"
# The servers live until their standard input closes.
cleanup() {
  [[ -n ${servers_PID:-} ]] && { exec {servers[1]}>&- && wait "$servers_PID"; } 2>/dev/null
  wine_script_end
}
trap cleanup EXIT
step_logs "$work/suite.log"

coproc servers { exec "$scenarios"; }
servers_named() {
  read -r -t 20 ZIBBLES_LOOPBACK <&"${servers[0]}" || { problem "no ports named within 20 s"; return 1; }
  measured ports "$ZIBBLES_LOOPBACK"
  export ZIBBLES_LOOPBACK
}
check "the loopback servers start" servers_named || finish

# Wine may say 0 for a program that never started: the suite's own words decide.
suite_passes() {
  wine_run 240 "$suite" >"$work/suite.log" 2>&1
  exit_code_is 0
  local status=$?
  measured suite "$(sed -n 's/^\[  \(PASSED\|FAILED\)  \] \([0-9]* tests\?\).*/\2 \1/p' "$work/suite.log" |
    tr 'A-Z' 'a-z' | paste -sd ',' | sed 's/,/, /g')"
  [[ $status -eq 0 ]] && grep -q '^\[  PASSED  \]' "$work/suite.log" && ! grep -q '^\[  FAILED  \]' "$work/suite.log"
}
check "the WinHTTP session's suite passes under Wine" suite_passes
finish

#!/usr/bin/env bash
# The WinHTTP session's suite under Wine, against the loopback servers of the curl session's
# tests: the Linux build's zibbles-loopback-scenarios serves them on 127.0.0.1 while the suite
# runs, and ZIBBLES_LOOPBACK names their ports to it.
# Usage: winhttp-session.sh SUITE.exe LOOPBACK_SCENARIOS
set -uo pipefail
suite=$1 scenarios=$2
here=$(dirname "$0")
source "$here/../lib/wine-lib.sh"
[[ -x $scenarios ]] || { echo "no $scenarios (build the Linux build's tests first)"; exit 77; }
build=$(wine_build_dir "$(dirname "$suite")") || exit 2
wine_use_prefix "$build/wine"

# The servers live until their standard input closes, which this script's end does.
coproc servers { exec "$scenarios"; }
read -r -t 20 ports <&"${servers[0]}" || { echo "the loopback servers did not start"; exit 1; }
echo "loopback servers: $ports"
export ZIBBLES_LOOPBACK=$ports
wine_run 240 "$suite" >"${TMPDIR:-/tmp}/winhttp-$$.log" 2>&1
status=$?
cat "${TMPDIR:-/tmp}/winhttp-$$.log"
# Wine may say 0 for a program that never started: the suite's own words decide.
grep -q '^\[  PASSED  \]' "${TMPDIR:-/tmp}/winhttp-$$.log" &&
  ! grep -q '^\[  FAILED  \]' "${TMPDIR:-/tmp}/winhttp-$$.log" && [[ $status -eq 0 ]]
result=$?
rm -f "${TMPDIR:-/tmp}/winhttp-$$.log"
exec {servers[1]}>&-
wait "$servers_PID" 2>/dev/null
exit $result

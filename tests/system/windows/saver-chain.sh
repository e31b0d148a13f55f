#!/usr/bin/env bash
# zibbles.scr /s under Wine against the demo chain: first with nothing listening at its endpoint,
# where it says why the screen stays grey in the Linux saver's words, on standard error and to the
# debugger's output; then against a node of the demo chain, where a figure is on the screen
# within seconds.
# Usage: saver-chain.sh ZIBBLES_SCR ZIBBLES_RENDER ZIBBLES_INSPECT
set -uo pipefail
scr=$1
source "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e-lib.sh"
source "$(dirname "${BASH_SOURCE[0]}")/../lib/wine-lib.sh"
e2e_setup windows-saver 19400 "${@:2}"
build=$(wine_build_dir "$(dirname "$scr")") || exit 2
wine_use_prefix "$build/wine"

# saver_run NAME ENDPOINT: the saver full screen on that endpoint, its trace and output in work.
saver_run() {
  wine_run 90 "$scr" /s --seed 7 --endpoint "$2" --trace "$(wine_path "$work/$1.jsonl")" \
    >"$work/$1.out" 2>"$work/$1.err" &
  e2e_host_pid=$!
}
saver_end() {
  xdotool key space
  wine_ended_within 10 "$e2e_host_pid"
  e2e_host_pid=""
}

# 1. Nothing listens at the endpoint. Wine shows what goes to the debugger's output as warnings of
# its seh channel ("warn:seh:OutputDebugStringA").
refused="http://127.0.0.1:$(free_port)"
WINEDEBUG=warn+seh saver_run refused "$refused"
said() { grep -q "zibbles: no figures from $refused: connection refused (3 requests failed in a row); will try again" "$1" 2>/dev/null; }
debugger_said() { grep -a 'OutputDebugString' "$work/refused.err" | grep -q "no figures from $refused: connection refused"; }
check "refused: the status line on standard error, in the Linux words" e2e_wait_for 30 said "$work/refused.err"
check "refused: ... and in the debugger's output" debugger_said
check "refused: a key ends it with status 0" saver_end
grep -a "^zibbles:" "$work/refused.err" | head -2 | sed 's/^/      /'

# 2. The demo chain.
e2e_start_chain
started=$SECONDS
saver_run chain "$endpoint"
figure_shown() {
  grep -q '"request.finished".*"outcome":"ok"' "$work/chain.jsonl" 2>/dev/null &&
    [[ $(xwd -root -silent | convert xwd:- -format %c histogram:info:- |
      awk '$0 !~ /#1A1A1A/ { gsub(":", "", $1); n += $1 } END { print n + 0 }') -gt 100 ]]
}
check "chain: a figure is on the screen within 20 s" e2e_wait_for 20 figure_shown
echo "      after $((SECONDS - started)) s"
check "chain: no status line (its fetches succeed)" eval '! grep -q "no figures" "$work/chain.err"'
check "chain: a key ends it with status 0" saver_end
e2e_finish

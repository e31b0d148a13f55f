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
step_logs "$work/refused.err" "$work/chain.err"

# saver_run NAME ENDPOINT: the saver full screen on that endpoint, its trace and output in work.
saver_run() {
  wine_run 90 "$scr" /s --seed 7 --endpoint "$2" --trace "$(wine_path "$work/$1.jsonl")" \
    >"$work/$1.out" 2>"$work/$1.err" &
  e2e_host_pid=$!
}
# saver_ends: a key ends it within 10 s, with status 0.
saver_ends() {
  local since
  since=$(clock_ms)
  xdotool key space
  wine_ends 10000 "$since" "$e2e_host_pid" || return 1
  e2e_host_pid=""
  [[ $wine_status -eq 0 ]]
}

# 1. Nothing listens at the endpoint. Wine shows what goes to the debugger's output as warnings of
# its seh channel ("warn:seh:OutputDebugStringA").
refused="http://127.0.0.1:$(free_port)"
WINEDEBUG=warn+seh saver_run refused "$refused"
said() { grep -q "zibbles: no figures from $refused: connection refused (3 requests failed in a row); will try again" "$1" 2>/dev/null; }
debugger_said() { grep -a 'OutputDebugString' "$work/refused.err" | grep -q "no figures from $refused: connection refused"; }
check "refused: the status line on standard error, in the Linux words" wait_for 30 said "$work/refused.err"
check "refused: ... and in the debugger's output" debugger_said
check "refused: a key ends it with status 0" saver_ends

# 2. The demo chain.
e2e_start_chain
saver_run chain "$endpoint"
# figure_shown: the saver fetched a figure, and the screen shows something besides the grey.
figure_shown() {
  local pixels
  grep -q '"request.finished".*"outcome":"ok"' "$work/chain.jsonl" 2>/dev/null || return 1
  pixels=$(xwd -root -silent | convert xwd:- -format %c histogram:info:- |
    awk '$0 !~ /#1A1A1A/ { gsub(":", "", $1); n += $1 } END { print n + 0 }')
  measured "figure pixels" "$pixels"
  [[ $pixels -gt 100 ]]
}
check "chain: a figure is on the screen within 20 s" wait_for 20 figure_shown
check "chain: no status line (its fetches succeed)" eval '! grep -q "no figures" "$work/chain.err"'
check "chain: a key ends it with status 0" saver_ends
e2e_finish

#!/usr/bin/env bash
# zibbles.scr's command line under Wine, as a person or the system gives it: bad arguments and a
# handle that is no window get a clear message and exit 2 (never a crash); /a exits 0;
# --version and --help; /c shows the dialog, which its OK button closes.
# Usage: scr-command-line.sh ZIBBLES_SCR
set -uo pipefail
scr=$1
source "$(dirname "$0")/../lib/wine-lib.sh"
wine_script_start "$scr"
dialog_pid=""
trap '[[ -n $dialog_pid ]] && kill "$dialog_pid" 2>/dev/null; wine_script_end' EXIT

# exits STATUS WORDS ARGUMENTS...: the program exits with STATUS and says WORDS (a part of them).
exits() {
  local status=$1 words=$2
  shift 2
  wine_run 30 "$scr" "$@" >"$work/out" 2>&1
  exit_code_is "$status" && { [[ -z $words ]] || grep -qF -- "$words" "$work/out"; } ||
    { problem "it said: $(head -2 "$work/out" | tr '\n' ' ')"; false; }
}
check "/p without a handle: exit 2" exits 2 "the preview needs the handle" /p
check "/p with a handle that is no window: exit 2" exits 2 "not a window" /p 4242
check "/c: with a handle that is no window: exit 2" exits 2 "not a window" /c:4242
check "/S /P 1: two modes, exit 2" exits 2 "give one of" /S /P 1
check "an unknown option: exit 2" exits 2 "unknown option '--bogus'" --bogus
check "/a: exit 0" exits 0 "" /a
check "--version: the version, endpoint and contract" exits 0 "endpoint: http" --version
check "--help: the modes" exits 0 "/p HWND" --help

step_logs "$work/dialog.out"
wine_run 60 "$scr" /c >"$work/dialog.out" 2>&1 &
dialog_pid=$!
dialog() { xdotool search --name '^Zibbles$' >/dev/null 2>&1; }
check "/c shows the dialog" wait_for 30 dialog
# Its OK button sits at the middle of its bottom edge (no window manager here gives the dialog the
# keyboard).
eval "$(xdotool search --name '^Zibbles$' | head -1 | xargs -I{} xdotool getwindowgeometry --shell {})"
since=$(clock_ms)
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 24)) click 1
check "... which OK closes, with exit 0" wine_ends 10000 "$since" "$dialog_pid"
dialog_pid=""
check "... (exit 0)" test "${wine_status:-1}" -eq 0
finish

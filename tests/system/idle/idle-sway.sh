#!/usr/bin/env bash
# zibbles --idle on headless sway 1.7, whose only idle protocol is org_kde_kwin_idle: a figure
# about 2 s after the launcher starts and none before, a key (wtype) ends the saver and the next
# 2 s of idleness bring it back, an output nobody sees leaves the saver and the launcher costing
# nothing, and SIGTERM ends both within 1 s. (sway 1.7 cannot power off a headless output,
# "dpms off" fails to commit there: the saver runs as an xdg toplevel, ZIBBLES_WAYLAND_SHELL=xdg,
# on a workspace that is switched away instead, which sway does not show either.)
# Usage: idle-sway.sh ZIBBLES_BINARY
# Exits 77 (skipped) only when a tool is missing or sway cannot start at all.
set -uo pipefail
binary=$1
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/wayland-lib.sh"
source "$repo/tests/system/lib/idle-lib.sh"

if missing=$(missing_wayland_tool); then
  echo "skipped: $missing is not installed"
  exit 77
fi
work=$(mktemp -d)
launcher=""
cleanup() {
  [ -n "$launcher" ] && kill -9 "$launcher" 2>/dev/null
  for pid in $(pgrep -f "^$work/bin/zibbles" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  stop_sway
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
idle_copy_binary "$binary" "$work"
step_logs "$work/session/sway.log" "$work/launcher.err"
if ! start_sway "$work/session" "resolution 1280x720"; then
  echo "skipped: sway (Debian package sway) cannot start here:"
  tail -n 5 "$work/session/sway.log"
  exit 77
fi

shot=$work/session/shot.png
screenshot() { as_session_user grim "$shot" 2>/dev/null; }

session_prefix
started=$(clock_ms)
"${session_run[@]}" ZIBBLES_WAYLAND_SHELL=xdg "$work/bin/zibbles" --idle 2 --no-network --figure "$work/bin/figure.svg" \
  2>"$work/launcher.err" &
launcher=$!
sleep 1
check "nothing shows in the first second" figure_is "== 0"
check "a figure shows about 2 s after the launcher starts" wait_for 8 figure_shown
check "... not before 1.5 s" took $(($(clock_ms) - started)) ">=" 1500
check "the launcher names its idle source" grep -q "idle source: org_kde_kwin_idle" "$work/launcher.err"
saver_runs
first_saver=$saver
# wtype's keyboard reaches the saver once the seat has announced it: the key goes down a second
# after wtype starts.
as_session_user wtype -s 1000 -k space
ended_at=$(clock_ms)
check "a key ends the saver" wait_for 3 saver_gone
check "... the launcher is still there" kill -0 "$launcher"
back() { saver_runs && [ "$saver" != "$first_saver" ] && figure_shown; }
check "the next 2 s of idleness bring the saver back" wait_for 8 back
check "... not before 1.5 s" took $(($(clock_ms) - ended_at)) ">=" 1500

as_session_user swaymsg workspace 9 >/dev/null
sleep 1
check "with the saver not shown it costs nothing (under 0.5 % of a core)" costs_nothing "$saver" 5
check "... nor does the launcher" costs_nothing "$launcher" 1
as_session_user swaymsg workspace 1 >/dev/null

since=$(clock_ms)
kill -TERM "$launcher"
check "SIGTERM ends the launcher and the saver within 1 s, with exit code 0" stops_with 0 1000 "$since" "$launcher" "$saver"
launcher=""
check "no sanitizer report" bash -c "! grep -E 'Sanitizer|runtime error' '$work/launcher.err'"
finish

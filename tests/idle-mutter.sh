#!/usr/bin/env bash
# zibbles --idle on GNOME's compositor, headless mutter on a session bus of its own: the launcher
# takes org.gnome.Mutter.IdleMonitor, shows nothing until the session has been idle 2 s, then the
# saver's own trace shows a view of the virtual monitor's size presenting frames; SIGTERM ends
# the launcher and the saver within 250 ms. (mutter has no screenshot protocol: the trace tells.)
# Usage: idle-mutter.sh ZIBBLES_BINARY
# Exits 77 (skipped) only when a tool is missing or mutter cannot start at all.
set -uo pipefail
binary=$1
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/tally.sh"
source "$repo/tests/idle-lib.sh"
for pair in mutter:mutter dbus-run-session:dbus-daemon dbus-send:dbus-bin setpriv:util-linux; do
  command -v "${pair%%:*}" >/dev/null || { echo "skipped: ${pair%%:*} (Debian package ${pair#*:}) is not installed"; exit 77; }
done

work=$(mktemp -d)
launcher=""
mutter_pid=""
cleanup() {
  [ -n "$launcher" ] && kill -9 "$launcher" 2>/dev/null
  for pid in $(pgrep -f "^$work/bin/zibbles" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  [ -n "$mutter_pid" ] && kill "$mutter_pid" 2>/dev/null
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
idle_copy_binary "$binary" "$work"
run=$work/out/run
mkdir -m 700 "$run"
[ "$(id -u)" -eq 0 ] && chown 65534:65534 "$run"

# session_prefix: sets session_run to the command that runs a program as uid 65534 (when root)
# with a clean environment in the session; each step execs the next, so $! is the program's pid.
session_prefix() {
  session_run=(env -i PATH=/usr/bin:/bin HOME="$work/out" XDG_RUNTIME_DIR="$run" WAYLAND_DISPLAY=wayland-mm)
  [ -s "$work/out/bus" ] && session_run+=(DBUS_SESSION_BUS_ADDRESS="$(cat "$work/out/bus")")
  [ -n "${LSAN_OPTIONS:-}" ] && session_run+=(LSAN_OPTIONS="$LSAN_OPTIONS")
  [ "$(id -u)" -eq 0 ] && session_run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${session_run[@]}")
}
as_session() {
  session_prefix
  "${session_run[@]}" "$@"
}
as_session dbus-run-session -- sh -c "echo \$\$ >'$work/out/mutter.pid'
  echo \"\$DBUS_SESSION_BUS_ADDRESS\" >'$work/out/bus'
  exec mutter --headless --virtual-monitor 1280x720 --wayland --no-x11 --wayland-display wayland-mm" \
  >"$work/mutter.log" 2>&1 &
idle_ms() {
  as_session dbus-send --session --print-reply --dest=org.gnome.Mutter.IdleMonitor \
    /org/gnome/Mutter/IdleMonitor/Core org.gnome.Mutter.IdleMonitor.GetIdletime 2>/dev/null |
    awk '/uint64/ { print $2 }'
}
monitor_answers() { [ -S "$run/wayland-mm" ] && [ -n "$(idle_ms)" ]; }
if ! wait_for 20 monitor_answers; then
  echo "skipped: headless mutter did not start here:"
  tail -n 5 "$work/mutter.log"
  exit 77
fi
mutter_pid=$(cat "$work/out/mutter.pid")

trace=$work/out/trace.json
idle_at_start=$(idle_ms)
started=$(now_ms)
session_prefix
"${session_run[@]}" "$work/bin/zibbles" --idle 2 --no-network --figure "$work/bin/figure.svg" \
  --trace "$trace" 2>"$work/launcher.err" &
launcher=$!
# The monitor counts from the session's last input (here: mutter's start), not the launcher's.
due=$((2000 - idle_at_start))
echo "      the session was idle $idle_at_start ms at the start: the saver is due in $due ms"
quiet_until() { while [ "$(now_ms)" -lt "$((started + $1))" ]; do [ -e "$trace" ] && return 1; sleep 0.05; done; }
check "nothing starts before the session has been idle 2 s" quiet_until $((due - 300))
appeared() { [ -e "$trace" ] && appeared_at=$(now_ms); }
check "the saver starts about then" wait_for 10 appeared
echo "      the saver started $((appeared_at - started)) ms after the launcher"
check "... within 1.5 s of it being due" test $((appeared_at - started)) -le $((due + 1500))
presents() { grep -c '"event":"frame.presented","width":1280,"height":720' "$trace" 2>/dev/null; }
presenting() { [ "$(presents)" -ge 10 ]; }
check "then a 1280x720 view presents frames" wait_for 10 presenting
check "the launcher names its idle source" grep -q "idle source: org.gnome.Mutter.IdleMonitor" "$work/launcher.err"
saver=$(saver_of "$launcher")
check "the saver is the launcher's child" test -n "$saver"
kill -TERM "$launcher"
check "SIGTERM ends the launcher and the saver within 250 ms" all_gone_within 250 "$launcher" ${saver:+"$saver"}
wait "$launcher"
check "... and the launcher exits with 0" test $? -eq 0
launcher=""
check "no sanitizer report" bash -c "! grep -E 'Sanitizer|runtime error' '$work/launcher.err'"
[ "$failed" -gt 0 ] && { tail -n 20 "$work/launcher.err"; tail -n 5 "$work/mutter.log"; }
finish

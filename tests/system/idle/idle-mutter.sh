#!/usr/bin/env bash
# zibbles --idle on GNOME's compositor, headless mutter on a session bus of its own: the launcher
# takes org.gnome.Mutter.IdleMonitor, shows nothing until the session has been idle 2 s, then the
# saver's own trace shows a view of the virtual monitor's size presenting frames; SIGTERM ends
# the launcher and the saver within 1 s. (mutter has no screenshot protocol: the trace tells.)
# Usage: idle-mutter.sh ZIBBLES_BINARY
# Exits 77 (skipped) only when a tool is missing or mutter cannot start at all.
set -uo pipefail
binary=$1
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/idle-lib.sh"
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
step_logs "$work/mutter.log" "$work/launcher.err"
if ! start_mutter "$work"; then
  echo "skipped: headless mutter did not start here:"
  tail -n 5 "$work/mutter.log"
  exit 77
fi

trace=$work/out/trace.json
idle_at_start=$(mutter_idle_ms)
started=$(clock_ms)
mutter_prefix
"${mutter_run[@]}" "$work/bin/zibbles" --idle 2 --no-network --figure "$work/bin/figure.svg" \
  --trace "$trace" 2>"$work/launcher.err" &
launcher=$!
# The monitor counts from the session's last input (here: mutter's start), not the launcher's.
due=$((2000 - idle_at_start))
echo "      the session was idle $idle_at_start ms at the start: the saver is due in $due ms"
check_traced_saver org.gnome.Mutter.IdleMonitor "$due"
check "no sanitizer report" bash -c "! grep -E 'Sanitizer|runtime error' '$work/launcher.err'"
finish

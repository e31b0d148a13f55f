#!/usr/bin/env bash
# zibbles --idle on KDE's compositor, kwin_wayland 5.27 on a virtual framebuffer with a session
# bus of its own: the launcher takes ext_idle_notifier_v1 (KDE offers GNOME's monitor on no bus),
# shows nothing for 2 s, then the saver's own trace shows a view of the output's size presenting
# frames; SIGTERM ends the launcher and the saver within 1 s.
# Usage: idle-kwin.sh ZIBBLES_BINARY
# Exits 77 (skipped) only when a tool is missing or kwin cannot start at all.
set -uo pipefail
binary=$1
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/idle-lib.sh"
for pair in kwin_wayland:kwin-wayland dbus-run-session:dbus-daemon setpriv:util-linux; do
  command -v "${pair%%:*}" >/dev/null || { echo "skipped: ${pair%%:*} (Debian package ${pair#*:}) is not installed"; exit 77; }
done

work=$(mktemp -d)
launcher=""
kwin_pid=""
cleanup() {
  [ -n "$launcher" ] && kill -9 "$launcher" 2>/dev/null
  for pid in $(pgrep -f "^$work/bin/zibbles" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  [ -n "$kwin_pid" ] && kill "$kwin_pid" 2>/dev/null
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
idle_copy_binary "$binary" "$work"
step_logs "$work/kwin.log" "$work/launcher.err"
if ! start_kwin "$work"; then
  echo "skipped: kwin_wayland --virtual did not start here:"
  tail -n 5 "$work/kwin.log"
  exit 77
fi

trace=$work/out/trace.json
started=$(clock_ms)
"${kwin_run[@]}" "$work/bin/zibbles" --idle 2 --no-network \
  --figure "$work/bin/figure.svg" --trace "$trace" 2>"$work/launcher.err" &
launcher=$!
# The notification counts from its own creation, at the launcher's start.
check_traced_saver ext_idle_notifier_v1 2000
check "no sanitizer report" bash -c "! grep -E 'Sanitizer|runtime error' '$work/launcher.err'"
finish

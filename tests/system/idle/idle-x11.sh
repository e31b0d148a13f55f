#!/usr/bin/env bash
# zibbles --idle on an X server without a screen-saver daemon (Xvfb): the MIT-SCREEN-SAVER source
# starts the full-screen saver once the server has seen no input for 2 s, an input synthesised
# with XTEST (xdotool) ends it, the next 2 s bring it back, a crashed saver waits a minute after
# its last start, and SIGTERM ends the launcher at once.
# With the daemon running on the display, the launcher says so and exits with 1.
# Usage: idle-x11.sh ZIBBLES_BINARY
# Exits 77 (skipped) only when a tool is missing.
set -uo pipefail
binary=$1
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/x11-lib.sh"
source "$repo/tests/system/lib/idle-lib.sh"
for pair in Xvfb:xvfb xdotool:xdotool xwd:x11-apps xscreensaver:xscreensaver setpriv:util-linux; do
  command -v "${pair%%:*}" >/dev/null || { echo "skipped: ${pair%%:*} (Debian package ${pair#*:}) is not installed"; exit 77; }
done

work=$(mktemp -d)
launcher=""
xvfb_pid=""
daemon_pid=""
cleanup() {
  [ -n "$launcher" ] && kill -9 "$launcher" 2>/dev/null
  for pid in $(pgrep -f "^$work/bin/zibbles" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
idle_copy_binary "$binary" "$work"
step_logs "$work/xvfb.log" "$work/launcher.err" "$work/refused.err" "$work/daemon.log"
check "Xvfb starts" start_xvfb 1280x720 "$work" || finish

# as_user COMMAND...: as uid 65534 (when root) with a clean environment; $! is the program's pid.
as_user=(env -i PATH=/usr/bin:/bin HOME="$work/out" DISPLAY="$DISPLAY" LSAN_OPTIONS="$LSAN_OPTIONS")
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups "${as_user[@]}")
shot=$work/shot.png
screenshot() { xwd -root -silent | /usr/bin/convert xwd:- "png:$shot"; }

xdotool mousemove 10 10 # the server's idle count starts now
started=$(clock_ms)
"${as_user[@]}" "$work/bin/zibbles" --idle 2 --no-network --figure "$work/bin/figure.svg" \
  2>"$work/launcher.err" &
launcher=$!
sleep 1
check "nothing shows in the first second" figure_is "== 0"
check "the full-screen saver shows about 2 s after the last input" wait_for 8 figure_shown
check "... not before 1.5 s" took $(($(clock_ms) - started)) ">=" 1500
check "the launcher names its idle source" grep -q "idle source: MIT-SCREEN-SAVER" "$work/launcher.err"
saver_runs
first_saver=$saver
xdotool key space # through XTEST
ended_at=$(clock_ms)
check "an XTEST input ends the saver" wait_for 3 saver_gone
check "... the launcher is still there" kill -0 "$launcher"
back() { saver_runs && [ "$saver" != "$first_saver" ] && figure_shown; }
check "the next 2 s without input bring the saver back" wait_for 8 back
check "... not before 1.5 s" took $(($(clock_ms) - ended_at)) ">=" 1500
# A saver that dies while the session stays idle (here as the OOM killer would end it; a
# sanitizer build would catch a SIGSEGV itself) is started again only a minute after its last
# start, and the launcher says so.
kill -KILL "$saver"
crashed() { grep -q "the saver ended with signal 9 (Killed) after [0-9]* s; it starts again in [0-9]* s" "$work/launcher.err"; }
check "a crashed saver gets a status line" wait_for 3 crashed
sleep 3
check "... and is not started again at once" bash -c "[ -z \"\$(pgrep -P $launcher)\" ]"
since=$(clock_ms)
kill -TERM "$launcher"
check "SIGTERM ends the launcher within 1 s, with exit code 0" stops_with 0 1000 "$since" "$launcher" "$saver"
launcher=""

# The daemon on the same display: it starts its own hacks there, so the launcher steps aside.
mkdir -p "$work/out/daemon"
printf 'timeout: 0:30:00\nlock: False\nsplash: False\nfade: False\nunfade: False\ndpmsEnabled: False\nmode: blank\n' \
  >"$work/out/daemon/.xscreensaver"
[ "$(id -u)" -eq 0 ] && chown -R 65534:65534 "$work/out/daemon"
"${as_user[@]}" HOME="$work/out/daemon" xscreensaver --no-splash --verbose >"$work/daemon.log" 2>&1 &
daemon_pid=$!
daemon_answers() { DISPLAY=$DISPLAY xscreensaver-command --version >/dev/null 2>&1; }
check "the daemon answers" wait_for 10 daemon_answers
"${as_user[@]}" timeout 10 "$work/bin/zibbles" --idle 2 2>"$work/refused.err"
check "with the daemon running the launcher exits with 1" test $? -eq 1
check "... and says the daemon runs its hacks" grep -q "XScreenSaver daemon already runs" "$work/refused.err"

check "no sanitizer report" bash -c "! grep -E 'Sanitizer|runtime error' '$work/launcher.err'"
finish

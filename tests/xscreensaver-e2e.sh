#!/usr/bin/env bash
# The saver inside the real screen-saver daemon: on a private X server, the daemon (as an
# unprivileged user, since it never runs hacks as root) runs only the hack built here, which
# draws figures from the demo chain. Activation must show the dark grey background and a figure;
# deactivation must end the hack.
# Usage: xscreensaver-e2e.sh ZIBBLES_BINARY          (as root: it switches to uid 65534)
set -uo pipefail
binary=$1
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/x11-lib.sh"
nobody=65534
passed=0
failed=0
check() { # check NAME COMMAND...: one line per check, counted
  if "${@:2}"; then
    echo "ok:   $1"
    passed=$((passed + 1))
  else
    echo "FAIL: $1"
    failed=$((failed + 1))
  fi
}
finish() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
  exit $?
}

[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run the daemon as uid $nobody"; exit 0; }
for tool in Xvfb xscreensaver xscreensaver-command setpriv xwd; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 0; }
done

work=$(mktemp -d)
chmod 755 "$work"
xvfb_pid=""
daemon_pid=""
export ZIBBLES_CHAIN_DIR="$work/chain"
ZIBBLES_CHAIN_PORT=$(free_port)
export ZIBBLES_CHAIN_PORT
cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  "$repo/demo/chain" down >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  # A hack left behind would hold the copied binary; end it by its pid, if any.
  for pid in $(pgrep -f "^$work/hacks/zibbles" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# wait_for SECONDS COMMAND...: polls every 0.2 s.
wait_for() {
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
}

"$repo/demo/chain" up >"$work/chain.out" 2>&1 || { cat "$work/chain.out"; echo "0 passed, 1 failed"; exit 1; }

start_xvfb 1280x720 "$work" || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }

# The hack, where the unprivileged daemon can read and run it.
mkdir -p "$work/hacks" "$work/home"
cp "$binary" "$work/hacks/zibbles"
cp "$repo/tests/lsan-desktop.supp" "$work/hacks/"
chmod 755 "$work/hacks" "$work/hacks/zibbles"
chmod 644 "$work/hacks/lsan-desktop.supp"
cat >"$work/home/.xscreensaver" <<SETTINGS
timeout:	0:30:00
cycle:		0:00:00
lock:		False
splash:		False
fade:		False
unfade:		False
dpmsEnabled:	False
mode:		one
selected:	0
programs:	$work/hacks/zibbles --root --endpoint http://127.0.0.1:$ZIBBLES_CHAIN_PORT \n
SETTINGS
chown -R "$nobody:$nobody" "$work/home"

setpriv --reuid=$nobody --regid=$nobody --clear-groups \
  env -i DISPLAY="$DISPLAY" HOME="$work/home" PATH=/usr/bin:/bin \
  LSAN_OPTIONS="suppressions=$work/hacks/lsan-desktop.supp" \
  xscreensaver --no-splash --log "$work/home/daemon.log" >/dev/null 2>&1 &
daemon_pid=$!
check "the daemon answers" wait_for 15 xscreensaver-command -version >/dev/null 2>&1

hack_running() { pgrep -f "^$work/hacks/zibbles" >/dev/null; }
activate() { xscreensaver-command -activate >/dev/null 2>&1 && wait_for 10 hack_running; }
check "activation starts the hack" activate

# Histogram of the root window: "count colour" lines.
histogram() {
  xwd -root -silent | /usr/bin/convert xwd:- "png:$work/shot.png" 2>/dev/null &&
    /usr/bin/convert "$work/shot.png" -format %c histogram:info:- |
    awk '{ gsub(":", "", $1); for (i = 2; i <= NF; i++) if ($i ~ /^#/) print $1, toupper($i) }'
}
# White level 0.1 is the byte 26 (0x1A) in every channel.
grey_pixels() { histogram | awk '$2 ~ /^#1A1A1A/ { n += $1 } END { print n + 0 }'; }
# Pixels of neither the background nor black: the figure.
figure_pixels() { histogram | awk '$2 !~ /^#1A1A1A/ && $2 !~ /^#000000/ { n += $1 } END { print n + 0 }'; }
figure_shown() { [ "$(figure_pixels)" -gt 500 ]; }

check "a figure from the chain appears" wait_for 20 figure_shown
grey=$(grey_pixels)
echo "dark grey pixels: $grey of $((1280 * 720)); figure pixels: $(figure_pixels)"
check "the dark grey background covers the screen" test "$grey" -gt 800000

xscreensaver-command -deactivate >/dev/null 2>&1
check "deactivation ends the hack" wait_for 5 bash -c "! pgrep -f '^$work/hacks/zibbles' >/dev/null"
check "the hack said it stopped" wait_for 3 grep -q "frames presented" "$work/home/daemon.log"
# The daemon destroys the window as it sends SIGTERM, sometimes mid-frame: the hack must end
# every time, never hang.
cycle() {
  local i
  for i in 1 2 3 4 5 6; do
    activate || return 1
    sleep 0.$((RANDOM % 9 + 1))
    xscreensaver-command -deactivate >/dev/null 2>&1
    wait_for 4 bash -c "! pgrep -f '^$work/hacks/zibbles' >/dev/null" || return 1
  done
}
check "six more activations, each hack ends at deactivation" cycle
# In sanitizer builds the hacks' reports land in the daemon's log.
check "no sanitizer report from the hacks" bash -c "! grep -E 'Sanitizer|runtime error' '$work/home/daemon.log'"

if [ "$failed" -gt 0 ]; then
  echo "--- daemon log"
  tail -n 30 "$work/home/daemon.log"
fi

xscreensaver-command -exit >/dev/null 2>&1
wait_for 5 bash -c "! kill -0 $daemon_pid 2>/dev/null" && daemon_pid=""
finish

#!/usr/bin/env bash
# The real settings dialog with Zibbles selected: on a private X server, the daemon and
# xscreensaver-settings run as an unprivileged user, and the dialog's preview runs the hack in a
# small window of its own. The preview must hold the dark grey background and the figure.
# Usage: xscreensaver-settings.sh ZIBBLES_BINARY SCREENSHOT.png   (as root: it switches users)
set -uo pipefail
binary=$1 screenshot=$2
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/steps.sh"
source "$repo/tests/system/lib/x11-lib.sh"
nobody=65534
[ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run the dialog as uid $nobody"; exit 0; }
for tool in Xvfb xscreensaver xscreensaver-settings setpriv xwd; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 0; }
done

work=$(mktemp -d)
chmod 755 "$work"
xvfb_pid="" daemon_pid="" dialog_pid=""
cleanup() {
  [ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  # The preview's hack is the dialog's child; one left behind would hold the copied binary.
  for pid in $(pgrep -f "^$work/hacks/zibbles" 2>/dev/null); do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

step_logs "$work/xvfb.log" "$work/dialog.log" "$work/home/daemon.log"
check "Xvfb starts" start_xvfb 1280x800 "$work" || finish
mkdir -p "$work/hacks" "$work/home"
cp "$binary" "$work/hacks/zibbles"
cp "$repo/tests/data/figures/robot.svg" "$work/hacks/"
chmod -R a+rX "$work/hacks"
# No chain here: the figure comes from a file, so the check is about the preview alone.
cat >"$work/home/.xscreensaver" <<SETTINGS
timeout:	0:30:00
cycle:		0:00:00
lock:		False
splash:		False
fade:		False
dpmsEnabled:	False
mode:		one
selected:	0
programs:	$work/hacks/zibbles --root --no-network --figure $work/hacks/robot.svg \n
SETTINGS
chown -R "$nobody:$nobody" "$work/home"
as_nobody() {
  setpriv --reuid=$nobody --regid=$nobody --clear-groups \
    env -i DISPLAY="$DISPLAY" HOME="$work/home" PATH=/usr/bin:/bin "$@"
}
as_nobody xscreensaver --no-splash --log "$work/home/daemon.log" >/dev/null 2>&1 &
daemon_pid=$!
as_nobody xscreensaver-settings >"$work/dialog.log" 2>&1 &
dialog_pid=$!

# The preview is about 565x317 points or more; the figure's yellow head and blue body show in it.
preview_shown() {
  local histogram grey head body
  histogram=$(root_histogram "$work/shot.png")
  grey=$(pixels_of '#1A1A1A' <<<"$histogram")
  head=$(pixels_of '#F0C020' <<<"$histogram")
  body=$(pixels_of '#3A6FD8' <<<"$histogram")
  measured pixels "$grey grey, $head of the head, $body of the body"
  [ "$grey" -gt 100000 ] && [ "$head" -gt 200 ] && [ "$body" -gt 200 ]
}
check "the preview shows the dark grey background and the figure" wait_for 15 preview_shown
cp "$work/shot.png" "$screenshot" 2>/dev/null
echo "      the screenshot: $screenshot"
hack_runs() { pgrep -f "^$work/hacks/zibbles" >/dev/null; }
check "... drawn by the hack" hack_runs
finish

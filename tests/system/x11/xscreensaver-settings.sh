#!/usr/bin/env bash
# The real settings dialog with Zibbles selected: on a private X server, the daemon and
# xscreensaver-settings run as an unprivileged user, and the dialog's preview runs the hack in a
# small window of its own. The preview must hold the dark grey background and the figure.
# Usage: xscreensaver-settings.sh ZIBBLES_BINARY SCREENSHOT.png   (as root: it switches users)
set -uo pipefail
binary=$1 screenshot=$2
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
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

start_xvfb 1280x800 "$work" || { echo "FAIL: Xvfb did not start"; exit 1; }
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

# Pixels of the root window by colour: "count #RRGGBB".
histogram() {
  xwd -root -silent | /usr/bin/convert xwd:- "png:$work/shot.png" 2>/dev/null &&
    /usr/bin/convert "$work/shot.png" -format %c histogram:info:- |
    awk '{ gsub(":", "", $1); for (i = 2; i <= NF; i++) if ($i ~ /^#/) print $1, substr(toupper($i), 1, 7) }'
}
pixels_of() { histogram | awk -v c="$1" '$2 == c { n += $1 } END { print n + 0 }'; }
# The preview is about 565x317 points or more; the figure's yellow head and blue body show in it.
preview_shown() {
  [ "$(pixels_of '#1A1A1A')" -gt 100000 ] && [ "$(pixels_of '#F0C020')" -gt 200 ] &&
    [ "$(pixels_of '#3A6FD8')" -gt 200 ]
}
shown=no
for _ in $(seq 75); do
  preview_shown && { shown=yes; break; }
  sleep 0.2
done
cp "$work/shot.png" "$screenshot" 2>/dev/null
if [ "$shown" = yes ] && pgrep -f "^$work/hacks/zibbles" >/dev/null; then
  echo "ok:   the preview shows the dark grey background and the figure ($screenshot)"
  exit 0
fi
echo "FAIL: no figure on grey in the preview (screenshot: $screenshot)"
tail -n 20 "$work/dialog.log" "$work/home/daemon.log"
exit 1

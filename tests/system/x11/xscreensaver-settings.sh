#!/usr/bin/env bash
# The real settings dialog with Zibbles selected: on a private X server, the daemon and
# xscreensaver-settings run as an unprivileged user, and the dialog's preview runs the hack in a
# small window of its own. The preview must hold the dark grey background and the figure.
# Usage: xscreensaver-settings.sh ZIBBLES_BINARY SCREENSHOT.png   (as root: it switches users)
set -uo pipefail
binary=$1 screenshot=$2
source "$(dirname "${BASH_SOURCE[0]}")/../lib/xscreensaver-lib.sh"
command -v xscreensaver-settings >/dev/null || { echo "skipped: xscreensaver-settings is missing"; exit 0; }
dialog_pid=""
xs_prepare 1 1280x800
trap '[ -n "$dialog_pid" ] && kill "$dialog_pid" 2>/dev/null; xs_cleanup' EXIT
step_logs "$work/dialog.log"
# No chain here: the figure comes from a file, so the check is about the preview alone.
xs_write_settings "$binary" "--no-network --figure $work/hacks/robot.svg"
cp "$xs_repo/tests/data/figures/robot.svg" "$work/hacks/"
chmod 644 "$work/hacks/robot.svg"
xs_start_daemon
xs_as_nobody xscreensaver-settings >"$work/dialog.log" 2>&1 &
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
# The dialog is a GTK program that starts the preview once it is up: tens of seconds under load.
check "the preview shows the dark grey background and the figure" wait_for 60 preview_shown
cp "$work/shot.png" "$screenshot" 2>/dev/null
echo "      the screenshot: $screenshot"
check "... drawn by the hack" xs_hack_running
finish

#!/usr/bin/env bash
# Runs the desktop host in a window on a private X server and checks, from screenshots, that the
# dark grey background fills its window with the figure on it, and that SIGTERM ends it cleanly.
# Usage: desktop-screenshot.sh ZIBBLES_BINARY FIGURE_FILE
set -uo pipefail
binary=$1
figure=$2
source "$(dirname "$0")/../lib/steps.sh"
source "$(dirname "$0")/../lib/x11-lib.sh"
host_server 800x600
start_host --window 640x360 --seed 3 --no-network --figure "$figure"
# White level 0.1 is the byte 26 (0x1A): it must cover most of the 640 × 360 window, and the
# figure's blue body (#4F86D1) must show on it.
window_drawn() {
  local histogram grey blue
  kill -0 "$host_pid" 2>/dev/null || { problem "zibbles ended"; return 1; }
  histogram=$(root_histogram "$work/shot.png")
  grey=$(pixels_of '#1A1A1A' <<<"$histogram")
  blue=$(pixels_of '#4F86D1' <<<"$histogram")
  measured pixels "$grey dark grey, $blue of the figure's blue"
  [ "$grey" -gt 200000 ] && [ "$blue" -gt 0 ]
}
check "the window shows the dark grey background and the figure" wait_for 10 window_drawn
sigterm_ends_host
finish

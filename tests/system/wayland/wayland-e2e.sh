#!/usr/bin/env bash
# The desktop host as a native Wayland client on a real compositor: headless sway in a runtime
# folder of the script's own, no X display, no input devices but the virtual keyboard wtype
# makes. Checks a figure from the demo chain on the grey (an overlay layer surface), the sprite
# pixel-exact at scale 2, the buffers following a scale change, a key press ending full screen,
# Escape ending a window, swayidle starting the saver after a second of idleness, the forced
# xdg fallback with a view on each of two outputs and no presents on a hidden one, the layer
# surface above a full-screen terminal, a view for an output added while it runs, and, on a
# nested sway standing in for a locker's compositor (WAYLAND_SOCKET, no xdg_wm_base, no
# wl_seat), a figure, an output's view torn down when its output goes, and SIGTERM.
# (sway 1.7 cannot power off or disable a headless output: "dpms off" and "disable" fail there,
# so a hidden workspace stands in for a dark output, and a nested sway's closed output window for
# a removed one.)
# Usage: wayland-e2e.sh ZIBBLES_BINARY ZIBBLES_RENDER_BINARY
# Exits 77 (skipped) only when a tool is missing or sway cannot start at all.
set -uo pipefail
binary=$1
render=$2
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/system/lib/steps.sh"
source "$repo/tests/system/lib/wayland-lib.sh"
figure_file="$repo/tests/data/decode/golden-24x24.svg"

if missing=$(missing_wayland_tool); then
  echo "skipped: $missing is not installed"
  exit 77
fi

work=$(mktemp -d)
chmod 755 "$work"
host_pid=""
idle_pid=""
export ZIBBLES_CHAIN_DIR="$work/chain"
ZIBBLES_CHAIN_PORT=$(free_port)
export ZIBBLES_CHAIN_PORT
cleanup() {
  [ -n "$idle_pid" ] && kill "$idle_pid" 2>/dev/null
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null
  # A saver that swayidle started is ours by the path of the copied binary.
  for pid in $(pgrep -f "^$work/bin/zibbles" 2>/dev/null); do kill "$pid" 2>/dev/null; done
  stop_sway
  "$repo/demo/chain" down >/dev/null 2>&1
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The programs and the figure where the unprivileged session can read and run them.
mkdir -p "$work/bin"
cp "$binary" "$work/bin/zibbles"
cp "$figure_file" "$work/bin/figure.svg"
cp "$repo/tests/system/lib/lsan-desktop.supp" "$work/bin/"
chmod -R a+rX "$work/bin"
export LSAN_OPTIONS="suppressions=$work/bin/lsan-desktop.supp"
step_logs "$work/session/sway.log" "$work/session/nested.log" "$work/chain.out" \
  "$ZIBBLES_CHAIN_DIR/anvil.log" "$work/host.err" "$work/swayidle.log" "$work/foot.log"

if ! start_sway "$work/session" "resolution 1280x720"; then
  echo "skipped: sway (Debian package sway) cannot start here:"
  tail -n 5 "$work/session/sway.log"
  failed=0
  exit 77
fi
chain_up() { "$repo/demo/chain" up >"$work/chain.out" 2>&1; }
check "the chain starts" chain_up || finish
endpoint="http://127.0.0.1:$ZIBBLES_CHAIN_PORT"

# start_saver ARGUMENTS...: the host in the session, in the background; host_pid is its own pid.
start_saver() {
  session_prefix
  "${session_run[@]}" "$work/bin/zibbles" "$@" 2>>"$work/host.err" &
  host_pid=$!
}
# stopped_within SECONDS [SINCE]: the host ends within that many seconds of SINCE (its signal;
# default now); host_status is its exit code.
stopped_within() { stopped_within_ms $(($1 * 1000)) "${2:-}"; }
stopped_within_ms() {
  ends_after_signal "$1" "${2:-$(clock_ms)}" - "$host_pid" || return 1
  wait "$host_pid"
  host_status=$?
  host_pid=""
  measured "exit code" "$host_status"
}
# grey_in PNG MIN: the background (white level 0.1 is the byte 26, 0x1A, in every channel)
# covers more than MIN pixels of the screenshot.
grey_in() {
  local pixels
  pixels=$(convert "$1" -format %c histogram:info:- |
    awk 'toupper($0) ~ /#1A1A1A/ { gsub(":", "", $1); n += $1 } END { print n + 0 }')
  measured "dark grey pixels" "$pixels"
  [ "$pixels" -gt "$2" ]
}
# figure_in PNG MIN: the screenshot holds a figure, what is neither the background nor black:
# more than MIN pixels, but fewer than the compositor's own background would give with no
# saver over it.
figure_in() {
  local pixels
  pixels=$(convert "$1" -format %c histogram:info:- |
    awk '$0 !~ /#1A1A1A/ && $0 !~ /#000000/ { gsub(":", "", $1); n += $1 } END { print n + 0 }')
  measured "figure pixels" "$pixels"
  [ "$pixels" -gt "$2" ] && [ "$pixels" -lt 100000 ]
}
# shot [OUTPUT]: a screenshot of the output (default the first), its file's path.
shot() {
  as_session_user grim ${1:+-o "$1"} "$work/session/shot${1:-}.png" 2>/dev/null && echo "$work/session/shot${1:-}.png"
}
figure_shown() { figure_in "$(shot)" 500; }
grey_covers() { grey_in "$(shot)" 800000; }

# 1. A figure from the chain, full screen, with no X display anywhere in the session.
start_saver --fullscreen --seed 5 --endpoint "$endpoint"
check "a figure from the chain appears on the output" wait_for 20 figure_shown
check "the dark grey background covers the output" grey_covers
check "the host has no X display" bash -c "! tr '\\0' '\\n' </proc/$host_pid/environ | grep -q '^DISPLAY='"
# wtype's virtual keyboard reaches the saver once the seat has announced it: the key goes down
# a second after wtype starts.
as_session_user wtype -s 1000 -k space
check "a key press ends full screen within a second" stopped_within 1
check "... with exit code 0" test "${host_status:-1}" -eq 0
check "... and the host said it stopped" grep -q "frames presented" "$work/host.err"

# 2. Scale 2: the sprite has the side the view asks for at that scale, copied one to one. The
# same figure drawn by the headless host at 640 × 360 points and scale 2 must match it pixel for
# pixel (a figure drawn at scale 1 and doubled by the compositor is 100 pixels, not 99).
as_session_user swaymsg output HEADLESS-1 scale 2 >/dev/null
start_saver --fullscreen --seed 5 --no-network --figure "$work/bin/figure.svg"
# The last screenshot is then one with the figure on a background that covers the output.
settled() { figure_shown && grey_covers; }
wait_for 10 settled
"$render" --size 640x360 --scale 2 --no-network --figure "$figure_file" --seconds 0.1 --fps 10 \
  --out "$work/reference" >/dev/null 2>&1
sprite_of() { convert "$1" -bordercolor '#1A1A1A' -border 1 -trim +repage "$2"; }
sprite_of "$work/session/shot.png" "$work/shown.png"
sprite_of "$work/reference/frame-00000.png" "$work/wanted.png"
echo "      sprite shown $(identify -format %wx%h "$work/shown.png"), wanted $(identify -format %wx%h "$work/wanted.png")"
same_sprite() {
  [ "$(identify -format %wx%h "$work/shown.png")" = "$(identify -format %wx%h "$work/wanted.png")" ] &&
    [ "$(compare -metric AE "$work/shown.png" "$work/wanted.png" null: 2>&1)" = 0 ]
}
check "at scale 2 the sprite is pixel-exact" same_sprite
check "at scale 2 the background covers the output" grey_covers
# Back to scale 1: the buffers follow (a buffer kept at scale 2 would cover a quarter).
as_session_user swaymsg output HEADLESS-1 scale 1 >/dev/null
check "after a scale change the buffers follow the output" wait_for 5 grey_covers
since=$(clock_ms)
kill -TERM "$host_pid"
check "SIGTERM ends it with exit code 0" stopped_within 3 "$since"
check "... (exit code 0)" test "${host_status:-1}" -eq 0

# 3. A window of its own ends on Escape. (Another key cannot be tried here: sway passes on the
# codes of wtype's own keymap, where the first key it types is code 1, Escape's evdev code.)
start_saver --window 640x360 --no-network --figure "$work/bin/figure.svg"
wait_for 10 figure_shown
as_session_user wtype -s 800 -k Escape
check "Escape ends the window with exit code 0" stopped_within 2
check "... (exit code 0)" test "${host_status:-1}" -eq 0

# 4. The idle daemon starts the saver after a second without input; a key ends it.
idle_command="$work/bin/zibbles --fullscreen --no-network --figure $work/bin/figure.svg"
session_prefix
"${session_run[@]}" swayidle -w timeout 1 "$idle_command" >"$work/swayidle.log" 2>&1 &
idle_pid=$!
saver_running() { host_pid=$(pgrep -n -f "^$work/bin/zibbles --fullscreen") && [ -n "$host_pid" ]; }
check "swayidle starts the saver after a second of idleness" wait_for 10 saver_running
check "... and it shows the figure" wait_for 10 figure_shown
as_session_user wtype -s 1000 -k space
# Not a child of this script: it has ended once its pid is gone.
gone() { ! kill -0 "$host_pid" 2>/dev/null; }
check "a key ends the saver that swayidle started" wait_for 3 gone
host_pid=""
kill "$idle_pid" 2>/dev/null
wait "$idle_pid" 2>/dev/null
idle_pid=""

# 5. The xdg fallback, forced: two outputs, one full-screen toplevel on each, the background over
# both. A view on a workspace switched away is not shown, so it presents nothing, and it draws
# again once shown.
as_session_user swaymsg create_output >/dev/null
as_session_user swaymsg output HEADLESS-2 resolution 800x600 >/dev/null
session_prefix
"${session_run[@]}" ZIBBLES_WAYLAND_SHELL=xdg "$work/bin/zibbles" --fullscreen --no-network \
  --figure "$work/bin/figure.svg" --trace "$work/session/xdg.trace" 2>>"$work/host.err" &
host_pid=$!
views() { as_session_user swaymsg -t get_tree -r | grep -c '"app_id": "zibbles"'; }
two_views() { [ "$(views)" -eq 2 ]; }
check "forced xdg fallback: a full-screen toplevel on each of two outputs" wait_for 10 two_views
second_grey() { grey_in "$(shot HEADLESS-2)" 400000; }
check "the second output shows the background too" wait_for 5 second_grey
# presents_in TRACE OUTPUT SECONDS: how many frames that output's view presented meanwhile.
presents_in() {
  local before
  before=$(grep -c "\"frame.presented\".*\"output\":\"$2\"" "$1")
  sleep "$3"
  echo $(($(grep -c "\"frame.presented\".*\"output\":\"$2\"" "$1") - before))
}
as_session_user swaymsg focus output HEADLESS-1, workspace 9 >/dev/null
hidden=$(presents_in "$work/session/xdg.trace" HEADLESS-1 2)
shown=$(presents_in "$work/session/xdg.trace" HEADLESS-2 1)
echo "      hidden view: $hidden presents in 2 s; shown one: $shown in 1 s"
check "a hidden view presents nothing" test "$hidden" -le 1
check "... while the shown one keeps presenting" test "$shown" -ge 20
as_session_user swaymsg workspace 1 >/dev/null
again=$(presents_in "$work/session/xdg.trace" HEADLESS-1 1)
check "... and it draws again once shown" test "$again" -ge 20
since=$(clock_ms)
kill -TERM "$host_pid"
check "SIGTERM ends both views with exit code 0" stopped_within 3 "$since"

# 6. The overlay layer surface above a full-screen terminal, which keeps its full screen.
session_prefix
"${session_run[@]}" foot sleep 600 >"$work/foot.log" 2>&1 &
foot_pid=$!
foot_mapped() { as_session_user swaymsg -t get_tree -r | grep -q '"app_id": "foot"'; }
wait_for 10 foot_mapped
as_session_user swaymsg '[app_id="foot"] fullscreen enable' >/dev/null
start_saver --fullscreen --no-network --figure "$work/bin/figure.svg"
sleep 1
check "the saver draws above a full-screen terminal" wait_for 10 settled
foot_fullscreen() {
  as_session_user swaymsg -t get_tree | python3 -c '
import json, sys
def nodes(n):
    yield n
    for k in n.get("nodes", []) + n.get("floating_nodes", []):
        yield from nodes(k)
sys.exit(not any(n.get("app_id") == "foot" and n.get("fullscreen_mode") == 1 for n in nodes(json.load(sys.stdin))))'
}
check "... which stays full screen" foot_fullscreen
as_session_user wtype -s 1000 -k space
check "... and a key reaches the saver and ends it" stopped_within 3
kill "$foot_pid" 2>/dev/null

# 7. An output added while the saver runs gets a view of its own at its own size.
start_saver --fullscreen --no-network --figure "$work/bin/figure.svg" --trace "$work/session/add.trace"
wait_for 10 settled
as_session_user swaymsg create_output >/dev/null
as_session_user swaymsg output HEADLESS-3 resolution 640x480 >/dev/null
opened() { grep -q "\"view.opened\",\"output\":\"$2\"" "$1"; }
check "an output added later gets a view" wait_for 5 opened "$work/session/add.trace" HEADLESS-3
third_grey() {
  local png
  png=$(shot HEADLESS-3) && [ "$(identify -format %wx%h "$png")" = 640x480 ] && grey_in "$png" 250000
}
check "... which shows the background over all of it" wait_for 5 third_grey
kill -TERM "$host_pid"
stopped_within 3

# 8. As a locker shows a saver: a socket of a nested compositor in WAYLAND_SOCKET, a registry
# without xdg_wm_base and wl_seat. A figure on the layer surface; an output that goes away has
# its view torn down; SIGTERM ends it at once.
if start_nested_sway "resolution 640x480"; then
  session_prefix
  "${session_run[@]}" ZIBBLES_WAYLAND_IGNORE_GLOBALS=xdg_wm_base,wl_seat python3 -c '
import os, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
os.set_inheritable(s.fileno(), True)
os.environ.pop("WAYLAND_DISPLAY", None)
os.environ["WAYLAND_SOCKET"] = str(s.fileno())
os.execv(sys.argv[2], sys.argv[2:])' "$work/session/run/$nested_display" "$work/bin/zibbles" \
    --fullscreen --no-network --figure "$work/bin/figure.svg" --trace "$work/session/locker.trace" \
    2>>"$work/host.err" &
  host_pid=$!
  nested_figure() {
    WAYLAND_DISPLAY=$nested_display as_session_user grim "$work/session/nested.png" 2>/dev/null &&
      figure_in "$work/session/nested.png" 300
  }
  check "locker-like registry: the layer surface shows a figure" wait_for 10 nested_figure
  SWAYSOCK=$nested_sock as_session_user swaymsg create_output >/dev/null
  check "... an output added there gets a view" wait_for 5 opened "$work/session/locker.trace" WL-2
  as_session_user swaymsg '[title="wlroots - WL-2"] kill' >/dev/null
  closed() { grep -q '"view.closed","output":"WL-2"' "$work/session/locker.trace"; }
  check "... whose view is torn down when the output goes" wait_for 5 closed
  check "... and the saver runs on" kill -0 "$host_pid"
  sleep 0.5
  since=$(clock_ms)
  kill -TERM "$host_pid"
  check "... until SIGTERM ends it within 500 ms" stopped_within_ms 500 "$since"
  [ -n "$host_pid" ] && stopped_within 3 "$since"
  check "... with exit code 0" test "${host_status:-1}" -eq 0
else
  fail "the nested sway did not start: $(tail -n 3 "$work/session/nested.log")"
fi

check "no sanitizer report from the host" bash -c "! grep -E 'Sanitizer|runtime error' '$work/host.err'"
finish

#!/usr/bin/env bash
# What each program does with input it cannot take: one table of command lines, each with the
# exit code it must end with and the words it must say (a usage error names the --help to try;
# nothing aborts). Hack mode asked for with no X display ends at once without touching any
# display. Last, an X server that goes away under the hack: one line, exit 1.
# Usage: bad-input.sh BUILD_HOSTS_FOLDER
set -uo pipefail
hosts=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/system/lib/steps.sh
source "$here/../lib/steps.sh"
# shellcheck source=tests/system/lib/x11-lib.sh
source "$here/../lib/x11-lib.sh"

# expect CODE TEXT COMMAND...: the command ends within 10 s with CODE, saying TEXT.
expect() {
  local output code
  output=$(timeout 10 "${@:3}" 2>&1)
  code=$?
  [ "$code" -eq "$1" ] && grep -qF -- "$2" <<<"$output" && ! grep -q "terminate called" <<<"$output" ||
    { echo "  exit $code: $output"; return 1; }
}

while IFS='|' read -r code text variables program arguments; do
  # shellcheck disable=SC2086 # the variables and arguments are words
  check "$variables $program $arguments" \
    expect "$code" "$text" env -u DISPLAY -u WAYLAND_DISPLAY -u WAYLAND_SOCKET -u SDL_VIDEODRIVER \
    $variables "$hosts/$program" $arguments
done <<'CASES'
2|DISPLAY is not set|WAYLAND_DISPLAY=wayland-none|zibbles|--root
2|DISPLAY is not set|WAYLAND_DISPLAY=wayland-none|zibbles|-root --seed 3
2|DISPLAY is not set|WAYLAND_DISPLAY=wayland-none|zibbles|--window-id 0x400001
2|DISPLAY is not set|WAYLAND_DISPLAY=wayland-none XSCREENSAVER_WINDOW=0x400001|zibbles|
2|DISPLAY is not set|WAYLAND_DISPLAY=wayland-none XSCREENSAVER_WINDOW=0x400001|zibbles|--fullscreen
1|neither DISPLAY nor WAYLAND_DISPLAY is set||zibbles|--window 640x480
1|neither DISPLAY nor WAYLAND_DISPLAY is set||zibbles|--fullscreen
2|Try 'zibbles --help'|DISPLAY=:99|zibbles|--fullscreen --window 10x10
2|Try 'zibbles --help'||zibbles|--bogus
2|Try 'zibbles --help'||zibbles|--idle 0
2|not as a hack, nor in a window||zibbles|--idle 2 --window 640x360
2|not as a hack, nor in a window||zibbles|--idle 2 --root
1|offers no idle source|DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent XDG_RUNTIME_DIR=/nonexistent|zibbles|--idle 2
2|run 'zibbles --idle SECONDS' instead||zibbles-idle|
2|Try 'zibbles-render --help'||zibbles-render|--size 100000x100000
2|device pixels a side||zibbles-render|--size 5000x5000 --scale 2
2|Try 'zibbles-render --help'||zibbles-render|--fps 0
2|Try 'zibbles-inspect --help'||zibbles-inspect|--bogus
2|Try 'zibbles-inspect --help'||zibbles-inspect|--survey 0
CASES

# The server goes away while the hack draws on its root window (its trace shows it drawing).
binary=$hosts/zibbles
host_server 640x400
start_host --root --no-network --seed 3 --trace "$work/trace"
check "the hack draws" wait_for 10 grep -qs '"frame.presented"' "$work/trace"
since=$(clock_ms)
kill "$xvfb_pid"
check "the X server goes away under the hack: exit 1 within 5 s" stops_with 1 5000 "$since" "$host_pid"
check "... saying the connection was lost" grep -q "the connection to the X server was lost" "$work/stderr"
finish

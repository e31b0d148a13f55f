#!/usr/bin/env bash
# Hack mode draws in an X window: asked for with no X display (a Wayland session, or none), each
# way of asking must end at once with exit code 2 and say why, without touching any display.
# Usage: hack-needs-x.sh ZIBBLES_BINARY
set -uo pipefail
binary=$1
status=0
while IFS='|' read -r variable arguments; do
  # shellcheck disable=SC2086 # the arguments are words
  output=$(env -u DISPLAY WAYLAND_DISPLAY=wayland-none ${variable:+"$variable"} \
    timeout 10 "$binary" $arguments 2>&1)
  code=$?
  if [ "$code" -ne 2 ] || ! grep -q "DISPLAY is not set" <<<"$output"; then
    echo "FAIL: ${variable:-} zibbles $arguments: exit $code: $output"
    status=1
  else
    echo "ok:   ${variable:-} zibbles $arguments: $output"
  fi
done <<'CASES'
|--root
|-root --seed 3
|--window-id 0x400001
XSCREENSAVER_WINDOW=0x400001|
XSCREENSAVER_WINDOW=0x400001|--fullscreen
CASES
exit "$status"

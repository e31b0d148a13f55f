#!/usr/bin/env bash
# The saver at fractional output scales on KDE's compositor, which offers wp_fractional_scale_v1
# and wp_viewporter: kwin_wayland 5.27 nested in headless sway, since kwin cannot take screenshots
# here and grim on sway shows kwin's output copied one to one. At 1.25, 1.5 and 1.75, on the
# overlay layer surface: the figure on screen is exactly the sprite zibbles-inspect --render draws
# at that scale, over the dark grey; every buffer has the output's device size, not more; a scale
# changed while the saver runs is followed at once. At 1.5 the forced xdg toplevel as well.
# Usage: wayland-fractional.sh ZIBBLES_BINARY ZIBBLES_INSPECT_BINARY KWIN_OUTPUT_SCALE_BINARY
# Exits 77 (skipped) only when a tool is missing or sway cannot start at all.
set -uo pipefail
binary=$1
inspect=$2
output_scale=$3
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$repo/tests/system/lib/steps.sh"
source "$repo/tests/system/lib/wayland-lib.sh"
source "$repo/tests/system/lib/idle-lib.sh"
source "$repo/tests/system/lib/sprite-lib.sh"
if missing=$(missing_wayland_tool); then
  echo "skipped: $missing is not installed"
  exit 77
fi
for pair in kwin_wayland:kwin-wayland dbus-run-session:dbus-daemon convert:imagemagick; do
  command -v "${pair%%:*}" >/dev/null || { echo "skipped: ${pair%%:*} (Debian package ${pair#*:}) is not installed"; exit 77; }
done

work=$(mktemp -d)
saver=""
kwin_pid=""
cleanup() {
  [ -n "$saver" ] && kill "$saver" 2>/dev/null
  [ -n "$kwin_pid" ] && kill "$kwin_pid" 2>/dev/null
  stop_sway
  if [ "$failed" -eq 0 ]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
step_logs "$work/out/sway.log" "$work/kwin.log" "$work/saver.err"
idle_copy_binary "$binary" "$work"
cp "$output_scale" "$work/bin/kwin-output-scale"
chmod a+rx "$work/bin/kwin-output-scale"

# kwin's output, 1280x720 points at its scale S, is the centred block of 1280·S x 720·S pixels of
# a screenshot of sway's.
if ! start_sway_for_kwin "$work/out"; then
  echo "skipped: sway (Debian package sway) cannot start here:"
  tail -n 5 "$work/out/sway.log"
  exit 77
fi

# The sprite's side: 0.1375 of the height in points the view was made at (720), at any scale.
sprite_points=99

# reference SCALE: the sprite zibbles-inspect --render draws at that scale over the dark grey,
# $work/want.png, and its side in pixels, sprite_side.
reference() {
  sprite_reference "$inspect" "$work/bin/figure.svg" "$sprite_points" "$1" "$work/want.png" || return 1
  sprite_side=$(identify -format '%w' "$work/want.png.sprite.png")
  measured sprite "$(identify -format %wx%h "$work/want.png") in a square of $sprite_side"
}

# shown_exactly WIDTH HEIGHT: in a screenshot, kwin's output of that many device pixels shows the
# reference sprite, pixel for pixel, and the grey covers the rest of it.
shown_exactly() {
  local x=$(((2560 - $1) / 2)) y=$(((1440 - $2) / 2)) grey shown wanted differing="not compared"
  as_session_user grim "$work/out/shot.png" 2>/dev/null || return 1
  convert "$work/out/shot.png" -crop "$1x$2+$x+$y" +repage "$work/output.png"
  convert "$work/output.png" -bordercolor '#1A1A1A' -border 1 -trim +repage "$work/shown.png"
  grey=$(convert "$work/output.png" -format %c histogram:info:- |
    awk 'toupper($0) ~ /#1A1A1A/ { gsub(":", "", $1); n += $1 } END { print n + 0 }')
  shown=$(identify -format %wx%h "$work/shown.png")
  wanted=$(identify -format %wx%h "$work/want.png")
  [ "$shown" = "$wanted" ] && differing=$(compare -metric AE "$work/shown.png" "$work/want.png" null: 2>&1)
  measured "dark grey pixels" "$grey"
  measured sprite "$shown shown, $wanted wanted"
  measured "pixels differing" "$differing"
  [ "$grey" -ge $(($1 * $2 - sprite_side * sprite_side)) ] && [ "$differing" = 0 ]
}

# presented_at TRACE SCALE: the sizes of the buffers presented at that scale, one line each.
presented_at() { grep '"frame.presented"' "$1" | grep -F "\"scale\":$2}" | grep -o '"width":[0-9]*,"height":[0-9]*' | sort -u; }
# presenting TRACE WIDTH HEIGHT SCALE: buffers of that size at that scale are being presented.
presenting() {
  measured "last present" "$(grep '"frame.presented"' "$1" 2>/dev/null | tail -n 1 |
    sed -n 's/.*"width":\([0-9]*\),"height":\([0-9]*\),.*"scale":\([0-9.]*\)}.*/\1x\2 at scale \3/p')"
  grep '"frame.presented"' "$1" 2>/dev/null | grep -F "\"width\":$2,\"height\":$3," | grep -qF "\"scale\":$4}"
}
# largest_at_most TRACE PIXELS: no buffer presented has more device pixels.
largest_at_most() {
  local largest
  largest=$(grep -o '"width":[0-9]*,"height":[0-9]*,"output"' "$1" | tr -dc '0-9,\n' | awk -F, '$1 * $2 > n { n = $1 * $2 } END { print n + 0 }')
  measured "largest buffer" "$largest pixels, at most $2"
  [ "$largest" -le "$2" ]
}
# only_size_at TRACE SCALE WIDTH HEIGHT: every buffer presented at that scale has that size.
only_size_at() {
  local sizes
  sizes=$(presented_at "$1" "$2")
  measured sizes "$(tr -dc '0-9,\n' <<<"$sizes" | tr , x | paste -sd ' ')"
  [ "$sizes" = "\"width\":$3,\"height\":$4" ]
}

# start_saver TRACE [VARIABLE=VALUE...]: the saver full screen in kwin's session.
start_saver() {
  "${kwin_run[@]}" "${@:2}" "$work/bin/zibbles" --fullscreen --no-network \
    --figure "$work/bin/figure.svg" --trace "$1" 2>>"$work/saver.err" &
  saver=$!
}
stop_saver() {
  kill -TERM "$saver" 2>/dev/null
  wait "$saver" 2>/dev/null
  saver=""
}
# restart_kwin SCALE: a fresh kwin at that scale in sway's window.
restart_kwin() {
  if [ -n "$kwin_pid" ]; then
    kill "$kwin_pid" 2>/dev/null
    wait_for 10 bash -c "! kill -0 $kwin_pid 2>/dev/null"
    rm -f "$work/out/run/wayland-kw" "$work/out/run/wayland-kw.lock"
  fi
  start_kwin "$work" --wayland-display "$WAYLAND_DISPLAY" --scale "$1"
}

for scale in 1.25 1.5 1.75; do
  width=$(awk -v s="$scale" 'BEGIN { print 1280 * s }')
  height=$(awk -v s="$scale" 'BEGIN { print 720 * s }')
  check "kwin starts at scale $scale" restart_kwin "$scale" || continue
  check "zibbles-inspect draws the sprite at $scale" reference "$scale"
  trace=$work/out/layer-$scale.trace
  start_saver "$trace"
  check "at $scale the layer surface presents ${width}x$height buffers" wait_for 20 presenting "$trace" "$width" "$height" "$scale"
  check "... and the figure is the sprite zibbles-inspect draws at $scale, over the grey" wait_for 20 shown_exactly "$width" "$height"
  check "... with no buffer of more pixels than the output's" largest_at_most "$trace" $((width * height))
  check "... and none of another size at that scale" only_size_at "$trace" "$scale" "$width" "$height"

  if [ "$scale" = 1.5 ]; then
    stop_saver
    trace=$work/out/xdg.trace
    start_saver "$trace" ZIBBLES_WAYLAND_SHELL=xdg
    check "at 1.5 the full-screen xdg toplevel presents ${width}x$height buffers" wait_for 20 presenting "$trace" "$width" "$height" 1.5
    check "... and shows the same sprite" wait_for 20 shown_exactly "$width" "$height"
  fi

  if [ "$scale" = 1.75 ]; then
    # The output's scale changes while the saver runs; its mode, and so its device size, stays.
    check "kwin takes scale 1.25 while the saver runs" "${kwin_run[@]}" "$work/bin/kwin-output-scale" 1.25
    check "zibbles-inspect draws the sprite at 1.25" reference 1.25
    check "a scale changed to 1.25 while it runs: ${width}x$height buffers at 1.25" wait_for 20 presenting "$trace" "$width" "$height" 1.25
    check "... showing the sprite zibbles-inspect draws at 1.25" wait_for 20 shown_exactly "$width" "$height"
    # Once the view has redrawn its figure at the new scale, no frame of the old one follows.
    none_old() {
      local old
      old=$(sed -n '/"contents.set".*"scale":1.25}/,$p' "$trace" | grep '"frame.presented"' | grep -cvF '"scale":1.25}')
      measured "frames at 1.75 after" "${old:-0}"
      [ "${old:-0}" -eq 0 ]
    }
    check "... and no frame at 1.75 once the figure was drawn at 1.25" none_old
  fi
  stop_saver
done

check "no sanitizer report from the saver" bash -c "! grep -E 'Sanitizer|runtime error' '$work/saver.err'"
finish

#!/usr/bin/env bash
# zibbles.scr /s under Wine on the fixture's Xvfb with one known figure, at 96, 120, 144, 168 and
# 192 dpi (100 to 200 %): the screenshot must show exactly the sprite that zibbles-inspect
# --render draws for that figure at that scale, over the dark grey; then input ends it (the mouse
# moved past its slack, a key).
# Usage: saver-screenshot.sh ZIBBLES_SCR ZIBBLES_INSPECT FIGURE
set -uo pipefail
scr=$1 inspect=$2 figure=$3
source "$(dirname "$0")/../lib/wine-lib.sh"
source "$(dirname "$0")/../lib/sprite-lib.sh"
[[ -x $inspect ]] || { echo "no zibbles-inspect at $inspect (build the Linux programs first)"; exit 77; }
wine_script_start "$scr"
saver_pid=""
cleanup() {
  [[ -n $saver_pid ]] && kill "$saver_pid" 2>/dev/null
  wine_set_dpi 96 # what the other tests of the prefix expect
  wine_script_end
}
trap cleanup EXIT

# still_running_after_frames N: the saver presented N more frames and still runs.
still_running_after_frames() {
  presents_reach "$work/trace-$dpi.jsonl" 0
  wait_for 10 presents_reach "$work/trace-$dpi.jsonl" $((presents + $1)) || return 1
  kill -0 "$saver_pid" 2>/dev/null || { problem "the saver ended"; return 1; }
}
view_field() { grep '"view.made"' "$work/trace-$dpi.jsonl" | head -1 | sed -n "s/.*\"$1\":\([0-9.]*\).*/\1/p"; }
# scale_is WANTED: the view was made at that scale.
scale_is() {
  measured scale "${scale:-none}"
  awk -v s="${scale:-0}" -v w="$1" 'BEGIN { exit !(s == w) }'
}

for dpi in 96 120 144 168 192; do
  step_logs "$work/err-$dpi"
  wine_status=""
  check "$dpi dpi: the prefix's DPI is set" wine_set_dpi "$dpi" || continue
  # The pointer rests away from where it will move, before the saver starts.
  xdotool mousemove 300 300
  wine_run 90 "$scr" /s --no-network --seed 3 --figure "$(wine_path "$figure")" \
    --trace "$(wine_path "$work/trace-$dpi.jsonl")" 2>"$work/err-$dpi" &
  saver_pid=$!
  check "$dpi dpi: the saver presents frames" wait_for 45 presents_reach "$work/trace-$dpi.jsonl" 1
  scale=$(view_field scale)
  height=$(view_field height)
  wanted=$(awk -v d="$dpi" 'BEGIN { print d / 96 }')
  check "$dpi dpi: the view's scale is $wanted" scale_is "$wanted"
  points=$(awk -v h="${height:-0}" -v s="${scale:-1}" 'BEGIN { printf "%.10g", h / s * 0.1375 }')
  sprite_reference "$inspect" "$figure" "$points" "$scale" "$work/wanted-$dpi.png"
  check "$dpi dpi: the screen shows exactly the sprite of zibbles-inspect --render at scale $scale" \
    screen_shows_sprite "$work/wanted-$dpi.png" "" "$work"
  if [[ $dpi == 96 ]]; then
    xdotool mousemove_relative 2 0
    check "$dpi dpi: the pointer moving 2 pixels does not end it" still_running_after_frames 10
    since=$(clock_ms)
    xdotool mousemove_relative 40 0
    check "$dpi dpi: the pointer moving 40 pixels ends it" wine_ends 10000 "$since" "$saver_pid"
  else
    since=$(clock_ms)
    xdotool key space
    check "$dpi dpi: a key ends it" wine_ends 10000 "$since" "$saver_pid"
  fi
  saver_pid=""
  check "$dpi dpi: ... with exit status 0" test "${wine_status:-1}" -eq 0
done
finish

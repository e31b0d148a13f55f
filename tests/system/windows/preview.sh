#!/usr/bin/env bash
# The preview (/p HWND) under Wine, with a stand-in for the settings dialog's preview pane, a
# 200 × 150 window at (40, 40):
#  - in the pane's own process (Wine draws a child window of another process nowhere): the pane
#    shows exactly the sprite of zibbles-inspect --render for a view 150 pixels high, over the
#    dark grey, and the preview ends when the pane goes;
#  - as the system runs it, zibbles.scr /p HWND from another process: its child fills the pane
#    (200 × 150, a preview view), and it ends soon after the pane goes, with status 0.
# Usage: preview.sh PREVIEW_PARENT ZIBBLES_SCR ZIBBLES_INSPECT FIGURE
set -uo pipefail
parent=$1 scr=$2 inspect=$3 figure=$4
here=$(dirname "$0")
source "$here/../lib/wine-lib.sh"
source "$here/../../../demo/lib/tally.sh"
[[ -x $inspect ]] || { echo "no zibbles-inspect at $inspect (build the Linux programs first)"; exit 77; }
build=$(wine_build_dir "$(dirname "$scr")") || exit 2
wine_use_prefix "$build/wine"
work=$(mktemp -d)
pane_pid=""
cleanup() {
  [[ -n $pane_pid ]] && kill "$pane_pid" 2>/dev/null
  if [[ $failed -eq 0 ]]; then rm -rf "$work"; else echo "(kept $work)"; fi
}
trap cleanup EXIT
presented() { grep -q '"frame.presented"' "$work/in.jsonl" 2>/dev/null; }

# In the pane's process.
wine_run 60 "$parent" --in-process --no-network --seed 3 --figure "$(wine_path "$figure")" \
  --trace "$(wine_path "$work/in.jsonl")" --done "$(wine_path "$work/done")" >"$work/in.out" 2>&1 &
pane_pid=$!
check "in process: the preview presents frames" wine_wait_for 45 presented
"$inspect" --render "$work/sprite.png" --size 20.625 --scale 1 "$figure" >/dev/null
"$here/../lib/sprite-over-grey.py" "$work/sprite.png" "$work/over.png"
convert "$work/over.png" -trim +repage "$work/wanted.png"
same_sprite() {
  local try
  for try in 1 2 3 4 5; do
    xwd -root -silent | convert xwd:- -crop 200x150+40+40 +repage "png:$work/pane.png"
    [[ $(convert "$work/pane.png" -format '%[hex:p{0,0}]' info:) == 1A1A1A* ]] || continue
    convert "$work/pane.png" -trim +repage "$work/shown.png"
    [[ $(compare -metric AE "$work/shown.png" "$work/wanted.png" null: 2>&1) == 0 ]] && return 0
  done
  return 1
}
check "in process: the pane shows exactly the sprite of zibbles-inspect --render" same_sprite
touch "$work/done"
check "in process: the preview ends when the pane goes" wine_ended_within 10 "$pane_pid"
check "... with status 0" test "${wine_status:-1}" -eq 0
pane_pid=""

# From another process, as the system runs it.
wine_run 60 "$parent" --spawn "$(wine_path "$scr")" --no-network --figure "$(wine_path "$figure")" \
  --trace "$(wine_path "$work/out.jsonl")" >"$work/out.out" 2>&1
status=$?
sed 's/^/      /' "$work/out.out"
check "/p HWND: the child fills the pane as a preview" \
  grep -q '"view.made","width":200,"height":150,"scale":1,"preview":true' "$work/out.out"
check "/p HWND: it ends with status 0 once the pane goes" test "$status" -eq 0
finish

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
source "$(dirname "$0")/../lib/wine-lib.sh"
source "$(dirname "$0")/../lib/sprite-lib.sh"
[[ -x $inspect ]] || { echo "no zibbles-inspect at $inspect (build the Linux programs first)"; exit 77; }
wine_script_start "$scr"
pane_pid=""
cleanup() {
  [[ -n $pane_pid ]] && kill "$pane_pid" 2>/dev/null
  wine_script_end
}
trap cleanup EXIT
step_logs "$work/in.out" "$work/out.out"

# In the pane's process.
wine_run 60 "$parent" --in-process --no-network --seed 3 --figure "$(wine_path "$figure")" \
  --trace "$(wine_path "$work/in.jsonl")" --done "$(wine_path "$work/done")" >"$work/in.out" 2>&1 &
pane_pid=$!
check "in process: the preview presents frames" wait_for 45 presents_reach "$work/in.jsonl" 1
sprite_reference "$inspect" "$figure" 20.625 1 "$work/wanted.png"
check "in process: the pane shows exactly the sprite of zibbles-inspect --render" \
  screen_shows_sprite "$work/wanted.png" 200x150+40+40 "$work"
since=$(clock_ms)
touch "$work/done"
check "in process: the preview ends when the pane goes" wine_ends 10000 "$since" "$pane_pid"
pane_pid=""
check "... with status 0" test "${wine_status:-1}" -eq 0

# From another process, as the system runs it: the stand-in prints the view the saver's trace
# made in the pane and when the saver ended after the pane went.
fills_pane() {
  wine_run 60 "$parent" --spawn "$(wine_path "$scr")" --no-network --figure "$(wine_path "$figure")" \
    --trace "$(wine_path "$work/out.jsonl")" >"$work/out.out" 2>&1
  spawn_status=$?
  measured view "$(grep -o '"view.made",[^}]*' "$work/out.out" || echo none)"
  grep -q '"view.made","width":200,"height":150,"scale":1,"preview":true' "$work/out.out"
}
check "/p HWND: the child fills the pane as a preview" fills_pane
ended_after_pane() {
  measured saver "$(sed -n 's/^the saver \(.*\) after its window went.*/\1/p' "$work/out.out")"
  measured "exit status" "${spawn_status:-none}"
  [[ ${spawn_status:-1} -eq 0 ]]
}
check "/p HWND: it ends with status 0 once the pane goes" ended_after_pane
finish

# shellcheck shell=bash
# The sprite on a screenshot against the one zibbles-inspect --render draws (sourced, not run).

# sprite_reference INSPECT FIGURE POINTS SCALE OUT.png: the figure's sprite as the inspector draws
# it at that side and scale, put over the view's dark grey by the compositor's own byte rule and
# trimmed of the grey around it.
sprite_reference() {
  local out=$5
  "$1" --render "$out.sprite.png" --size "$3" --scale "$4" "$2" >/dev/null &&
    "$(dirname "${BASH_SOURCE[0]}")/sprite-over-grey.py" "$out.sprite.png" "$out.over.png" &&
    convert "$out.over.png" -trim +repage "$out"
}

# screen_shows_sprite WANTED.png CROP FOLDER: a screenshot of the X display (the part CROP, WxH+X+Y,
# or all of it when empty) holds the dark grey around exactly WANTED. A frame being put while the
# screenshot is taken may tear it: a few tries. Measures the sprite's size and the pixels that
# differ in the last try.
screen_shows_sprite() {
  local wanted=$1 crop=$2 folder=$3 try size shown differing
  size=$(identify -format %wx%h "$wanted")
  for try in 1 2 3 4 5; do
    measured tries "$try"
    xwd -root -silent | convert xwd:- ${crop:+-crop "$crop" +repage} "png:$folder/shot.png"
    if [[ $(convert "$folder/shot.png" -format '%[hex:p{0,0}]' info:) != 1A1A1A* ]]; then
      measured sprite "none: the screenshot's corner is not the dark grey"
      continue
    fi
    convert "$folder/shot.png" -trim +repage "$folder/shown.png"
    shown=$(identify -format %wx%h "$folder/shown.png")
    measured sprite "$shown shown, $size wanted"
    differing="not compared"
    [[ $shown == "$size" ]] && differing=$(compare -metric AE "$folder/shown.png" "$wanted" null: 2>&1)
    measured "pixels differing" "$differing"
    [[ $differing == 0 ]] && return 0
  done
  return 1
}

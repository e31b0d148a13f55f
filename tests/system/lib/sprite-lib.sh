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
# screenshot is taken may tear it: a few tries.
screen_shows_sprite() {
  local wanted=$1 crop=$2 folder=$3 try
  for try in 1 2 3 4 5; do
    xwd -root -silent | convert xwd:- ${crop:+-crop "$crop" +repage} "png:$folder/shot.png"
    [[ $(convert "$folder/shot.png" -format '%[hex:p{0,0}]' info:) == 1A1A1A* ]] || continue
    convert "$folder/shot.png" -trim +repage "$folder/shown.png"
    [[ $(compare -metric AE "$folder/shown.png" "$wanted" null: 2>&1) == 0 ]] && return 0
  done
  echo "      shown $(identify -format %wx%h "$folder/shown.png"), wanted $(identify -format %wx%h "$wanted")"
  return 1
}

# shellcheck shell=bash
# A private X server for the scripts that run the desktop host (sourced, not run).

# start_xvfb WxH FOLDER [SCREENS]: starts Xvfb with one (or SCREENS) screens of that size, its
# log in FOLDER/xvfb.log, sets xvfb_pid and exports DISPLAY. Fails when the server has not named
# its display within 10 s. The server never resets (-noreset): left to itself, Xvfb resets as its
# last client leaves and drops a client that connects just then, as one daemon started after
# another program ended was.
start_xvfb() {
  local display_file="$2/display" screens=() i _
  for ((i = 0; i < ${3:-1}; i++)); do screens+=(-screen "$i" "$1x24"); done
  Xvfb -displayfd 3 "${screens[@]}" -nolisten tcp -noreset 3>"$display_file" 2>"$2/xvfb.log" &
  # shellcheck disable=SC2034 # the caller's, to measure and to stop
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || return 1
  DISPLAY=":$(cat "$display_file")"
  export DISPLAY
}

# root_histogram PNG: the root window of screen 0 by colour, "count #RRGGBB" lines, its
# screenshot kept in PNG.
root_histogram() {
  xwd -root -silent | /usr/bin/convert xwd:- "png:$1" 2>/dev/null &&
    /usr/bin/convert "$1" -format %c histogram:info:- |
    awk '{ gsub(":", "", $1); for (i = 2; i <= NF; i++) if ($i ~ /^#/) print $1, substr(toupper($i), 1, 7) }'
}
# pixels_of COLOUR < HISTOGRAM: how many pixels have it (#RRGGBB).
pixels_of() { awk -v c="$1" '$2 == c { n += $1 } END { print n + 0 }'; }

# For a script that runs the host on a private server of its own (with steps.sh):
#   host_server WxH          a work folder and Xvfb (a step); both go on exit, and a host left
#   start_host ARGUMENTS...  the host (binary) on it in the background, its stderr a step log
#   sigterm_ends_host        the step: SIGTERM ends it within 2 s with exit code 0
host_server() {
  work=$(mktemp -d)
  xvfb_pid=""
  host_pid=""
  trap 'kill $host_pid $xvfb_pid 2>/dev/null; rm -rf "$work"' EXIT
  step_logs "$work/xvfb.log" "$work/stderr"
  check "Xvfb starts" start_xvfb "$1" "$work" || finish
  # In sanitizer builds: a buffer D-Bus keeps for good is not the host's leak.
  export LSAN_OPTIONS="suppressions=${BASH_SOURCE[0]%/*}/lsan-desktop.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
}
start_host() {
  "$binary" "$@" 2>"$work/stderr" &
  host_pid=$!
}
sigterm_ends_host() {
  local since
  since=$(clock_ms)
  kill -TERM "$host_pid"
  check "SIGTERM ends it within 2 s with exit code 0" stops_with 0 2000 "$since" "$host_pid" && host_pid=""
}

# shellcheck shell=bash
# A private X server for the scripts that run the desktop host (sourced, not run).

# start_xvfb WxH FOLDER: starts Xvfb with one screen of that size, sets xvfb_pid and exports
# DISPLAY. Fails when the server has not named its display within 10 s. The server never resets
# (-noreset): left to itself, Xvfb resets as its last client leaves and drops a client that
# connects just then, as one daemon started after another program ended was.
start_xvfb() {
  local display_file="$2/display"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$display_file" 2>/dev/null &
  # shellcheck disable=SC2034 # the caller's, to measure and to stop
  xvfb_pid=$!
  local _
  for _ in $(seq 100); do
    [ -s "$display_file" ] && break
    sleep 0.1
  done
  [ -s "$display_file" ] || return 1
  DISPLAY=":$(cat "$display_file")"
  export DISPLAY
}

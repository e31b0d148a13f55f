# shellcheck shell=bash
# A private headless Wayland compositor for the scripts that run the desktop host (sourced, not
# run). sway refuses to run as root, so a root caller runs it, and every client of it, as uid
# 65534; anyone else runs it as themselves. Either way in a runtime folder of the script's own,
# with no X display and no input devices.

wayland_uid=$(id -u)
[ "$wayland_uid" -eq 0 ] && wayland_uid=65534

# missing_wayland_tool: prints the first tool (and its Debian package) that is not installed.
missing_wayland_tool() {
  local pair
  for pair in sway:sway grim:grim wtype:wtype swayidle:swayidle swaymsg:sway foot:foot python3:python3 setpriv:util-linux; do
    command -v "${pair%%:*}" >/dev/null || { echo "${pair%%:*} (Debian package ${pair#*:})"; return 0; }
  done
  return 1
}

# session_prefix: sets session_run to the command that runs a program as the compositor's user,
# in its session, with a clean environment (no DISPLAY). Each step execs the next, so a program
# started in the background with it has $! as its own pid.
session_prefix() {
  # An empty SWAYSOCK would make sway listen on a nameless socket: set only what is known.
  session_run=(env -i PATH=/usr/bin:/bin HOME="$wayland_dir" XDG_RUNTIME_DIR="$wayland_dir/run")
  [ -n "${WAYLAND_DISPLAY:-}" ] && session_run+=(WAYLAND_DISPLAY="$WAYLAND_DISPLAY")
  [ -n "${SWAYSOCK:-}" ] && session_run+=(SWAYSOCK="$SWAYSOCK")
  [ -n "${LSAN_OPTIONS:-}" ] && session_run+=(LSAN_OPTIONS="$LSAN_OPTIONS")
  if [ "$(id -u)" -eq 0 ]; then
    session_run=(setpriv --reuid="$wayland_uid" --regid="$wayland_uid" --clear-groups "${session_run[@]}")
  fi
}

# as_session_user COMMAND...: runs it so.
as_session_user() {
  session_prefix
  "${session_run[@]}" "$@"
}

# start_sway FOLDER OUTPUT_LINE [CONFIG_LINE [SWAY_OPTION...]]: starts sway with that output line
# ("resolution 1280x720 scale 2"), a further line of configuration and options if given, and
# exports WAYLAND_DISPLAY and SWAYSOCK. Sets sway_pid. Fails when no socket appears in 10 s.
start_sway() {
  wayland_dir=$1
  mkdir -p "$wayland_dir/run"
  chmod 700 "$wayland_dir/run"
  chmod 755 "$wayland_dir"
  printf 'output HEADLESS-1 %s\n%s\n' "$2" "${3:-}" >"$wayland_dir/sway.conf"
  [ "$(id -u)" -eq 0 ] && chown -R "$wayland_uid:$wayland_uid" "$wayland_dir"
  session_prefix
  "${session_run[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway "${@:4}" --config "$wayland_dir/sway.conf" >"$wayland_dir/sway.log" 2>&1 &
  # shellcheck disable=SC2034 # the caller's, to measure and to stop
  sway_pid=$!
  local _ socket ipc
  for _ in $(seq 100); do
    socket=$(find "$wayland_dir/run" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' -printf '%f\n' | head -n 1)
    ipc=$(find "$wayland_dir/run" -maxdepth 1 -name 'sway-ipc.*.sock' | head -n 1)
    [ -n "$socket" ] && [ -n "$ipc" ] && break
    kill -0 "$sway_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  [ -n "$socket" ] && [ -n "$ipc" ] || return 1
  export WAYLAND_DISPLAY=$socket SWAYSOCK=$ipc
}

# start_nested_sway OUTPUT_LINE: a second sway, as a client of the first (its outputs are
# windows there: closing one removes that output's global), like a locker's nested compositor.
# Sets nested_pid, nested_display and nested_sock; exports nothing. Fails when no socket
# appears in 10 s.
start_nested_sway() {
  printf 'output WL-1 %s\n' "$1" >"$wayland_dir/nested.conf"
  [ "$(id -u)" -eq 0 ] && chown "$wayland_uid:$wayland_uid" "$wayland_dir/nested.conf"
  local before _
  before=$(find "$wayland_dir/run" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' | sort)
  session_prefix
  "${session_run[@]}" WLR_BACKENDS=wayland WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
    sway --config "$wayland_dir/nested.conf" >"$wayland_dir/nested.log" 2>&1 &
  nested_pid=$!
  for _ in $(seq 100); do
    nested_display=$(comm -13 <(echo "$before") <(find "$wayland_dir/run" -maxdepth 1 -name 'wayland-*' ! -name '*.lock' | sort) | head -n 1)
    nested_sock=$(find "$wayland_dir/run" -maxdepth 1 -name "sway-ipc.*.$nested_pid.sock" | head -n 1)
    [ -n "$nested_display" ] && [ -n "$nested_sock" ] && { nested_display=${nested_display##*/}; return 0; }
    kill -0 "$nested_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# stop_sway: ends the compositors started above, if they still run.
stop_sway() {
  [ -n "${nested_pid:-}" ] && kill "$nested_pid" 2>/dev/null
  [ -n "${sway_pid:-}" ] && kill "$sway_pid" 2>/dev/null
  sway_pid=""
  nested_pid=""
}

# start_sway_for_kwin FOLDER: a headless sway whose 2560x1440 output at scale 2 a nested KDE
# compositor fills (start_kwin WORK --wayland-display "$WAYLAND_DISPLAY" --scale S, from
# idle-lib.sh, with FOLDER = WORK/out). kwin cannot take screenshots here; grim on sway's socket
# can, and shows kwin's output of 1280·S x 720·S pixels as the centred block of its 2560x1440,
# one to one. Nested kwin reports damage in its own coordinates, so sway repaints everything; no
# border frames kwin's window. As start_sway otherwise.
start_sway_for_kwin() {
  start_sway "$1" "resolution 2560x1440 scale 2" "default_border none" -D damage=rerender
}

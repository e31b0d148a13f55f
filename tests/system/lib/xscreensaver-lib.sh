# shellcheck shell=bash
# The saver inside the real screen-saver daemon, for the scripts that drive it (sourced, not run):
# a private X server, the demo chain on a port of its own, and the daemon as an unprivileged user
# (it never runs hacks as root) whose only hack is a copy of the binary under test.
#
#   xs_setup BINARY [SCREENS [WxH]]   skips (exit 0) without root or tools; sets work, daemon_log
#   xs_activate / xs_deactivate       ask the daemon, wait for hacks to start / end
#   xs_hack_pids, xs_hacks_per_screen the hacks of this run only (by their path), never others'
#   xs_figure_shown                   screen 0 shows more than the background
#   xs_no_sanitizer_report, xs_no_x_error   what the daemon's log must not hold
set -uo pipefail
xs_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$xs_repo/demo/lib/ports.sh"
source "$xs_repo/tests/system/lib/x11-lib.sh"
xs_nobody=65534
xs_screens=1
source "$xs_repo/demo/lib/tally.sh"
xvfb_pid=""
daemon_pid=""

# wait_for SECONDS COMMAND...: polls every 0.2 s.
wait_for() {
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.2
  done
}

xs_cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  "$xs_repo/demo/chain" down >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  # A hack left behind would hold the copied binary; end it by its pid, if any.
  local pid
  for pid in $(xs_hack_pids); do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$work"
}

# xs_start_xvfb SCREENS WxH: like start_xvfb, with one or more screens of that size.
xs_start_xvfb() {
  local screens=() i
  for ((i = 0; i < $1; i++)); do screens+=(-screen "$i" "$2x24"); done
  Xvfb -displayfd 3 "${screens[@]}" -nolisten tcp -noreset 3>"$work/display" 2>/dev/null &
  xvfb_pid=$!
  wait_for 10 test -s "$work/display" || return 1
  DISPLAY=":$(cat "$work/display")"
  export DISPLAY
}

xs_chain_up() { "$xs_repo/demo/chain" up >"$work/chain.out" 2>&1 || { cat "$work/chain.out"; return 1; }; }
xs_chain_down() { "$xs_repo/demo/chain" down >/dev/null 2>&1; }

xs_write_settings() {
  mkdir -p "$work/hacks" "$work/home"
  cp "$1" "$work/hacks/zibbles"
  cp "$xs_repo/tests/system/lib/lsan-desktop.supp" "$work/hacks/"
  chmod 755 "$work/hacks" "$work/hacks/zibbles"
  chmod 644 "$work/hacks/lsan-desktop.supp"
  cat >"$work/home/.xscreensaver" <<SETTINGS
timeout:	0:30:00
cycle:		0:00:00
lock:		False
splash:		False
fade:		False
unfade:		False
dpmsEnabled:	False
mode:		one
selected:	0
programs:	$work/hacks/zibbles --root --endpoint http://127.0.0.1:$ZIBBLES_CHAIN_PORT \n
SETTINGS
  chown -R "$xs_nobody:$xs_nobody" "$work/home"
}

xs_start_daemon() {
  daemon_log="$work/home/daemon.log"
  setpriv --reuid=$xs_nobody --regid=$xs_nobody --clear-groups \
    env -i DISPLAY="$DISPLAY" HOME="$work/home" PATH=/usr/bin:/bin \
    LSAN_OPTIONS="suppressions=$work/hacks/lsan-desktop.supp" \
    xscreensaver --no-splash --log "$daemon_log" >/dev/null 2>&1 &
  daemon_pid=$!
}

xs_setup() {
  local binary=$1
  xs_screens=${2:-1}
  local size=${3:-1280x720}
  [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run the daemon as uid $xs_nobody"; exit 0; }
  local tool
  for tool in Xvfb xscreensaver xscreensaver-command setpriv xwd; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 0; }
  done
  work=$(mktemp -d)
  chmod 755 "$work"
  export ZIBBLES_CHAIN_DIR="$work/chain"
  ZIBBLES_CHAIN_PORT=$(free_port)
  export ZIBBLES_CHAIN_PORT
  trap xs_cleanup EXIT
  xs_chain_up || { echo "0 passed, 1 failed"; exit 1; }
  xs_start_xvfb "$xs_screens" "$size" || { echo "Xvfb did not start"; echo "0 passed, 1 failed"; exit 1; }
  xs_write_settings "$binary"
  xs_start_daemon
}

xs_daemon_answers() { wait_for 15 xscreensaver-command -version >/dev/null 2>&1; }
xs_stop_daemon() {
  xscreensaver-command -exit >/dev/null 2>&1
  wait_for 5 bash -c "! kill -0 $daemon_pid 2>/dev/null" && daemon_pid=""
}

xs_hack_pids() { pgrep -f "^$work/hacks/zibbles" 2>/dev/null; }
xs_hack_running() { xs_hack_pids >/dev/null; }
xs_no_hack() { ! xs_hack_running; }
# One line per hack: the X screen it draws on, from the DISPLAY the daemon gave it.
xs_hack_screens() {
  local pid
  for pid in $(xs_hack_pids); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | sed -n 's/^DISPLAY=.*\.\([0-9]*\)$/\1/p;s/^DISPLAY=:[0-9]*$/0/p'
  done
}
# Exactly one hack on each screen, none twice.
xs_hacks_per_screen() {
  local seen
  seen=$(xs_hack_screens | sort | uniq -c | awk '{ print $2 ":" $1 }' | tr '\n' ' ')
  local expected="" i
  for ((i = 0; i < xs_screens; i++)); do expected+="$i:1 "; done
  [ "$seen" = "$expected" ]
}
xs_all_hacks_running() { [ "$(xs_hack_pids | wc -l)" -ge "$xs_screens" ]; }
# xs_activate: the daemon shows the saver and a hack runs on every screen within 10 s.
xs_activate() { xscreensaver-command -activate >/dev/null 2>&1 && wait_for 10 xs_all_hacks_running; }
# Microseconds of the wall clock: wait_for's deadlines fall on whole seconds of $SECONDS, which
# would make a 2 s bound anything from 1 to 2 s.
xs_clock_us() { echo "${EPOCHREALTIME/[.,]/}"; }
# xs_gone_within SECONDS [SINCE]: every hack is gone within that many whole seconds of SINCE
# (xs_clock_us; default now).
xs_gone_within() {
  local deadline=$((${2:-$(xs_clock_us)} + $1 * 1000000))
  until xs_no_hack; do
    [ "$(xs_clock_us)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}
# xs_deactivate SECONDS: the daemon hides the saver and every hack is gone within that many
# seconds of the request (the clock starts before it, so the daemon's delay counts too).
xs_deactivate() {
  local since
  since=$(xs_clock_us)
  xscreensaver-command -deactivate >/dev/null 2>&1 && xs_gone_within "$1" "$since"
}

# Histogram of screen 0's root window: "count colour" lines.
xs_histogram() {
  xwd -root -silent | /usr/bin/convert xwd:- "png:$work/shot.png" 2>/dev/null &&
    /usr/bin/convert "$work/shot.png" -format %c histogram:info:- |
    awk '{ gsub(":", "", $1); for (i = 2; i <= NF; i++) if ($i ~ /^#/) print $1, toupper($i) }'
}
# White level 0.1 is the byte 26 (0x1A) in every channel.
xs_grey_pixels() { xs_histogram | awk '$2 ~ /^#1A1A1A/ { n += $1 } END { print n + 0 }'; }
# Pixels of neither the background nor black: the figure.
xs_figure_pixels() { xs_histogram | awk '$2 !~ /^#1A1A1A/ && $2 !~ /^#000000/ { n += $1 } END { print n + 0 }'; }
xs_figure_shown() { [ "$(xs_figure_pixels)" -gt 500 ]; }

# In sanitizer builds the hacks' reports land in the daemon's log.
xs_no_sanitizer_report() { ! grep -E 'Sanitizer|runtime error' "$daemon_log"; }
# Xlib's words for an X error that reached its default handler, in the daemon or a hack.
xs_no_x_error() { ! grep -E 'X Error of failed request|XIO: +fatal|BadWindow \(invalid' "$daemon_log"; }
xs_show_log_on_failure() {
  if [ "$failed" -gt 0 ]; then
    echo "--- daemon log"
    tail -n 30 "$daemon_log"
  fi
}

# xs_random_seconds LOW HIGH: a time from LOW to HIGH whole seconds, to a tenth.
xs_random_seconds() {
  local tenths=$(($1 * 10 + RANDOM % (($2 - $1) * 10 + 1)))
  echo "$((tenths / 10)).$((tenths % 10))"
}
# xs_cycle ON_SECONDS: one activation held that long, then a deactivation. Fails with the reason
# in xs_problem: no hack, not one per screen, a hack replaced while shown, or one left 2 s after
# the daemon's signal.
# shellcheck disable=SC2034 # xs_problem is the caller's to read
xs_cycle() {
  xs_problem=""
  xs_activate || { xs_problem="no hack on every screen 10 s after activation"; return 1; }
  local started
  started=$(xs_hack_pids | sort | tr '\n' ' ')
  xs_hacks_per_screen || { xs_problem="not one hack per screen: $(xs_hack_screens | tr '\n' ' ')"; return 1; }
  sleep "$1"
  xs_hacks_per_screen || { xs_problem="not one hack per screen after $1 s"; return 1; }
  [ "$(xs_hack_pids | sort | tr '\n' ' ')" = "$started" ] || { xs_problem="a hack was restarted while shown"; return 1; }
  xs_deactivate 2 && return 0
  # Under load the daemon's display helper may pass the signal on late: a hack it had not yet
  # signalled gets its 2 s from the daemon's "killing pid" line. One it had signalled is late.
  local left
  left=$(xs_hack_pids | tr '\n' ' ')
  [ -n "${left// /}" ] || { xs_problem="a hack ended only just after 2 s"; return 1; }
  # shellcheck disable=SC2086 # one argument per pid
  if ! xs_signalled $left && wait_for 10 xs_signalled $left && xs_gone_within 2; then
    echo "  (the daemon signalled $left late)"
    return 0
  fi
  xs_problem="a hack was left 2 s after the daemon's signal: $left"
  return 1
}
# xs_signalled PID...: the daemon's log says it sent each of them the signal to end.
xs_signalled() {
  local pid
  for pid in "$@"; do grep -q "killing pid $pid (" "$daemon_log" || return 1; done
}

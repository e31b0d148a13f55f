# shellcheck shell=bash
# The saver inside the real screen-saver daemon, for the scripts that drive it (sourced, not run):
# a private X server, the demo chain on a port of its own, and the daemon as an unprivileged user
# (it never runs hacks as root) whose only hack is a copy of the binary under test. The daemon's
# log, which holds the hacks' stderr too, is a log of every step (steps.sh).
#
#   xs_setup BINARY [SCREENS [WxH]]   skips (exit 0) without root or tools; sets work, daemon_log
#                                     (xs_prepare, xs_write_settings, xs_start_daemon: its parts)
#   xs_activate / xs_deactivate       ask the daemon, wait for hacks to start / end (the rule below)
#   xs_hack_pids, xs_hacks_per_screen the hacks of this run only (by their path), never others'
#   xs_figure_shown                   screen 0 shows more than the background
#   xs_no_sanitizer_report, xs_no_x_error   what the daemon's log must not hold
set -uo pipefail
xs_repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
source "$xs_repo/demo/lib/ports.sh"
source "$xs_repo/tests/system/lib/steps.sh"
source "$xs_repo/tests/system/lib/x11-lib.sh"
xs_nobody=65534
xs_screens=1
xvfb_pid=""
daemon_pid=""

xs_cleanup() {
  [ -n "$daemon_pid" ] && kill "$daemon_pid" 2>/dev/null
  [ -n "${ZIBBLES_CHAIN_DIR:-}" ] && "$xs_repo/demo/chain" down >/dev/null 2>&1
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  # A hack left behind would hold the copied binary; end it by its pid, if any.
  local pid
  for pid in $(xs_hack_pids); do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$work"
}

# xs_write_settings BINARY OPTIONS: the daemon's settings, whose only hack is a copy of BINARY
# with --root and OPTIONS.
xs_write_settings() {
  mkdir -p "$work/hacks" "$work/home"
  cp "$1" "$work/hacks/zibbles"
  cp "$xs_repo/tests/system/lib/lsan-desktop.supp" "$work/hacks/"
  chmod -R a+rX "$work/hacks"
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
programs:	$work/hacks/zibbles --root $2 \n
SETTINGS
  chown -R "$xs_nobody:$xs_nobody" "$work/home"
}

# xs_as_nobody COMMAND...: as the daemon's user, in its session.
xs_as_nobody() {
  setpriv --reuid=$xs_nobody --regid=$xs_nobody --clear-groups env -i DISPLAY="$DISPLAY" \
    HOME="$work/home" PATH=/usr/bin:/bin LSAN_OPTIONS="suppressions=$work/hacks/lsan-desktop.supp" "$@"
}
xs_start_daemon() {
  xs_as_nobody xscreensaver --no-splash --log "$daemon_log" >/dev/null 2>&1 &
  daemon_pid=$!
}

# xs_prepare SCREENS WxH [TOOL...]: skips (exit 0) without root or the tools (the daemon's by
# default); a work folder, gone on exit with all that runs in it, and Xvfb.
xs_prepare() {
  xs_screens=$1
  local size=$2 tool
  shift 2
  [ "$(id -u)" -eq 0 ] || { echo "skipped: needs root to run the hacks as uid $xs_nobody"; exit 0; }
  [ $# -gt 0 ] || set -- xscreensaver xscreensaver-command
  for tool in Xvfb setpriv xwd "$@"; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 0; }
  done
  work=$(mktemp -d)
  chmod 755 "$work"
  trap xs_cleanup EXIT
  daemon_log="$work/home/daemon.log"
  step_logs "$work/xvfb.log" "$daemon_log"
  check "Xvfb starts with $xs_screens screen(s) of $size" start_xvfb "$size" "$work" "$xs_screens" || finish
}
xs_setup() {
  xs_prepare "${2:-1}" "${3:-1280x720}"
  export ZIBBLES_CHAIN_DIR="$work/chain"
  ZIBBLES_CHAIN_PORT=$(free_port)
  export ZIBBLES_CHAIN_PORT
  step_logs "$work/chain.out" "$ZIBBLES_CHAIN_DIR/anvil.log"
  check "the chain starts" xs_chain_up || finish
  xs_write_settings "$1" "--endpoint http://127.0.0.1:$ZIBBLES_CHAIN_PORT"
  xs_start_daemon
}

xs_chain_up() { "$xs_repo/demo/chain" up >"$work/chain.out" 2>&1; }
xs_chain_down() { "$xs_repo/demo/chain" down >/dev/null 2>&1; }
xs_daemon_answers() { wait_for 15 xscreensaver-command -version >/dev/null 2>&1; }
xs_stop_daemon() {
  xscreensaver-command -exit >/dev/null 2>&1
  wait_for 5 ended "$daemon_pid" && daemon_pid=""
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
  local seen expected="" i
  seen=$(xs_hack_screens | sort | uniq -c | awk '{ print $2 ":" $1 }' | tr '\n' ' ')
  for ((i = 0; i < xs_screens; i++)); do expected+="$i:1 "; done
  measured "hacks by screen" "${seen% }"
  [ "$seen" = "$expected" ]
}
xs_all_hacks_running() {
  local count
  count=$(xs_hack_pids | wc -l)
  measured "hacks running" "$count of $xs_screens"
  [ "$count" -ge "$xs_screens" ]
}
# xs_activate: the daemon shows the saver and a hack runs on every screen within 30 s (the
# daemon's helper starts them; under load it takes seconds, as it does to end them).
xs_activate() {
  local asked
  asked=$(clock_ms)
  xscreensaver-command -activate >/dev/null 2>&1 || { problem "the daemon refused to activate"; return 1; }
  wait_for 30 xs_all_hacks_running || return 1
  measured "hacks running" "$xs_screens of $xs_screens after $(seconds $(($(clock_ms) - asked))) s"
}

# The deactivation rule, one for every deactivation of the daemon's hacks: the daemon passes the
# request on within 30 s, and each hack ends within 5 s of the moment it was signalled, which
# the daemon's log tells ("killing pid N (") unless the hack's end is seen first. The daemon's
# own helper sends the signal, and under load it has been seen to do so 5 and 10 s after the
# request: that is the daemon's delay, measured apart, not the hack's. The daemon runs hacks at nice 10,
# so on a machine busy with other work a hack that obeys at once (its watchdog ends it 2 s after
# the signal at the latest) may still need seconds of the clock to end. A hack that the daemon
# started meanwhile must end by the same rule.
xs_end_bound_ms=5000
# Only the log's lines since the request count: an earlier line may name a pid used again.
xs_daemon_signalled() { tail -c +$((xs_log_from + 1)) "$daemon_log" | grep -q "killing pid $1 ("; }
xs_deactivate() {
  local asked pids
  pids=$(xs_hack_pids)
  xs_log_from=$(stat -c %s "$daemon_log")
  asked=$(clock_ms)
  xscreensaver-command -deactivate >/dev/null 2>&1 || { problem "the daemon refused to deactivate"; return 1; }
  # shellcheck disable=SC2086 # one argument per pid
  ends_after_signal "$xs_end_bound_ms" "$asked" xs_daemon_signalled $pids || return 1
  pids=$(xs_hack_pids) || return 0
  # shellcheck disable=SC2086
  ends_after_signal "$xs_end_bound_ms" "$asked" xs_daemon_signalled $pids || return 1
  xs_no_hack || { problem "hacks still run: $(xs_hack_pids | tr '\n' ' ')"; return 1; }
}

# Screen 0 by colour. White level 0.1 is the byte 26 (0x1A) in every channel; the figure is what
# is neither that background nor black: more than 500 pixels, but fewer than the server's own
# root window would give with no saver over it.
xs_histogram() { root_histogram "$work/shot.png"; }
xs_grey_pixels() { xs_histogram | pixels_of '#1A1A1A'; }
xs_figure_shown() {
  local pixels
  pixels=$(xs_histogram | awk '$2 != "#1A1A1A" && $2 != "#000000" { n += $1 } END { print n + 0 }')
  measured "figure pixels" "$pixels"
  [ "$pixels" -gt 500 ] && [ "$pixels" -lt 100000 ]
}

# In sanitizer builds the hacks' reports land in the daemon's log.
xs_no_sanitizer_report() { ! grep -E 'Sanitizer|runtime error' "$daemon_log"; }
# Xlib's words for an X error that reached its default handler, in the daemon or a hack.
xs_no_x_error() { ! grep -E 'X Error of failed request|XIO: +fatal|BadWindow \(invalid' "$daemon_log"; }

# xs_random_seconds LOW HIGH: a time from LOW to HIGH whole seconds, to a tenth.
xs_random_seconds() {
  local tenths=$(($1 * 10 + RANDOM % (($2 - $1) * 10 + 1)))
  echo "$((tenths / 10)).$((tenths % 10))"
}
# xs_cycle ON_SECONDS: one activation held that long, then a deactivation by the rule above.
# Fails, with the problem named, on no hack, not one per screen, a hack replaced while shown, or
# one the rule does not allow.
xs_cycle() {
  xs_activate || return 1
  local started
  started=$(xs_hack_pids | sort | tr '\n' ' ')
  xs_hacks_per_screen || { problem "not one hack per screen"; return 1; }
  sleep "$1"
  xs_hacks_per_screen || { problem "not one hack per screen after $1 s"; return 1; }
  [ "$(xs_hack_pids | sort | tr '\n' ' ')" = "$started" ] || { problem "a hack was restarted while shown"; return 1; }
  xs_deactivate
}

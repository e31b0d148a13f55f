# shellcheck shell=bash
# What the idle launcher's scripts (tests/system/idle/idle-*.sh, bench/idle-launcher.sh) share (sourced, not
# run): the binary where uid 65534 can run it, the launcher's saver, timing and CPU.
source "$(dirname "${BASH_SOURCE[0]}")/steps.sh"

# idle_copy_binary BINARY WORK: the binary and the launcher beside it (zibbles-idle), a figure
# and the sanitizer suppressions in WORK/bin, readable by everyone; WORK/out is a folder the
# session's user may write to.
idle_copy_binary() {
  local repo
  repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
  mkdir -p "$2/bin" "$2/out"
  cp "$1" "$2/bin/zibbles"
  cp "$(dirname "$1")/zibbles-idle" "$2/bin/zibbles-idle"
  cp "$repo/tests/data/decode/golden-24x24.svg" "$2/bin/figure.svg"
  cp "$repo/tests/system/lib/lsan-desktop.supp" "$2/bin/"
  chmod 755 "$2"
  chmod -R a+rX "$2/bin"
  [ "$(id -u)" -eq 0 ] && chown 65534:65534 "$2/out"
  export LSAN_OPTIONS="suppressions=$2/bin/lsan-desktop.supp"
}

# saver_of PID: the launcher's child, the saver, if one runs. saver_runs sets saver to the
# launcher's.
saver_of() { pgrep -P "$1" 2>/dev/null | head -n 1; }
saver_runs() { saver=$(saver_of "$launcher") && [ -n "$saver" ]; }
saver_gone() { ! kill -0 "$saver" 2>/dev/null; }

# figure_is CONDITION: the figure's blue body (#4F86D1) is so many pixels ("> 200") in a
# screenshot, which the script's "screenshot" takes to the file $shot.
figure_is() {
  local pixels
  screenshot
  pixels=$(/usr/bin/convert "$shot" -format %c histogram:info:- |
    awk 'toupper($0) ~ /#4F86D1/ { gsub(":", "", $1); n += $1 } END { print n + 0 }')
  measured "figure pixels" "$pixels"
  let "$pixels $1"
}
figure_shown() { figure_is "> 200"; }

# Nanoseconds a process's threads have run (schedstat's first field, not sampled at ticks).
cpu_ns() { cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ s += $1 } END { printf "%.0f", s }'; }
rss_kb() { awk '/^VmRSS/ { print $2 }' "/proc/$1/status"; }

# cpu_percent PID SECONDS: % of one core the process used over that many seconds from now.
cpu_percent() {
  local before after
  before=$(cpu_ns "$1")
  sleep "$2"
  after=$(cpu_ns "$1")
  awk -v d=$((after - before)) -v t="$2" 'BEGIN { printf "%.3f", d / t / 1e7 }'
}

# costs_nothing PID SECONDS: the process uses under 0.5 % of a core over that many seconds: ten
# times what an unseen saver takes (bench/README.md: 0.05 %, its target 0.1 %, which the bench
# holds it to), three times as much under AddressSanitizer (0.16 %), and less than drawing only
# its damaged rectangles would (0.65 %).
costs_nothing() {
  local cpu
  cpu=$(cpu_percent "$1" "$2")
  measured CPU "$cpu % of a core over $2 s"
  awk -v c="$cpu" 'BEGIN { exit !(c < 0.5) }'
}

# mutter_prefix: sets mutter_run to the command that runs a program in the mutter session below,
# as uid 65534 when root, with a clean environment; each step execs the next, so $! is the
# program's own pid.
mutter_prefix() {
  mutter_run=(env -i PATH=/usr/bin:/bin HOME="$mutter_work/out" XDG_RUNTIME_DIR="$mutter_work/out/run"
    WAYLAND_DISPLAY=wayland-mm)
  [ -s "$mutter_work/out/bus" ] && mutter_run+=(DBUS_SESSION_BUS_ADDRESS="$(cat "$mutter_work/out/bus")")
  [ -n "${LSAN_OPTIONS:-}" ] && mutter_run+=(LSAN_OPTIONS="$LSAN_OPTIONS")
  [ "$(id -u)" -eq 0 ] && mutter_run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${mutter_run[@]}")
}

# mutter_idle_ms: the session's idle time as GNOME's monitor counts it; empty when it does not answer.
mutter_idle_ms() {
  mutter_prefix
  "${mutter_run[@]}" dbus-send --session --print-reply --dest=org.gnome.Mutter.IdleMonitor \
    /org/gnome/Mutter/IdleMonitor/Core org.gnome.Mutter.IdleMonitor.GetIdletime 2>/dev/null |
    awk '/uint64/ { print $2 }'
}

# start_mutter WORK: headless mutter (a 1280x720 virtual monitor, Wayland socket wayland-mm) on a
# session bus of its own, in WORK/out (from idle_copy_binary); its log is WORK/mutter.log. Sets
# mutter_pid. Fails when its idle monitor has not answered within 20 s.
start_mutter() {
  mutter_work=$1
  mkdir -p -m 700 "$1/out/run"
  [ "$(id -u)" -eq 0 ] && chown 65534:65534 "$1/out/run"
  mutter_prefix
  "${mutter_run[@]}" dbus-run-session -- sh -c "echo \$\$ >'$1/out/mutter.pid'
    echo \"\$DBUS_SESSION_BUS_ADDRESS\" >'$1/out/bus'
    exec mutter --headless --virtual-monitor 1280x720 --wayland --no-x11 --wayland-display wayland-mm" \
    >"$1/mutter.log" 2>&1 &
  monitor_answers() { [ -S "$mutter_work/out/run/wayland-mm" ] && [ -n "$(mutter_idle_ms)" ]; }
  wait_for 20 monitor_answers || return 1
  mutter_pid=$(cat "$1/out/mutter.pid")
}

# check_traced_saver SOURCE DUE_MS: the checks of a session without screenshots, from the saver's
# own trace, for the launcher (launcher, started, trace, work as the scripts set them) that was
# started with --idle 2 and --trace: nothing until the saver is due, then a 1280x720 view
# presenting frames, the source named, and SIGTERM ending the launcher and its saver together.
check_traced_saver() {
  local source=$1 due=$2 appeared_at=0 saver since
  quiet_until() {
    while [ "$(clock_ms)" -lt "$((started + $1))" ]; do
      [ -e "$trace" ] && { problem "the saver started $(($(clock_ms) - started)) ms after the launcher"; return 1; }
      sleep 0.05
    done
  }
  check "nothing starts before the session has been idle 2 s" quiet_until $((due - 300))
  appeared() { [ -e "$trace" ] && appeared_at=$(clock_ms); }
  check "the saver starts about then" wait_for 10 appeared
  # Starting the saver takes a process and its libraries: seconds on a loaded machine.
  check "... within 5 s of it being due" took $((appeared_at - started)) "<=" $((due + 5000))
  presents() {
    local count
    count=$(grep -c '"event":"frame.presented","width":1280,"height":720' "$trace" 2>/dev/null)
    measured "1280x720 presents" "${count:-0}"
    [ "${count:-0}" -ge 10 ]
  }
  check "then a 1280x720 view presents frames" wait_for 10 presents
  check "the launcher names its idle source" grep -q "idle source: $source" "$work/launcher.err"
  saver=$(saver_of "$launcher")
  check "the saver is the launcher's child" test -n "$saver"
  since=$(clock_ms)
  kill -TERM "$launcher"
  check "SIGTERM ends the saver and the launcher within 1 s, with exit code 0" \
    stops_with 0 1000 "$since" "$launcher" ${saver:+"$saver"}
  launcher=""
}

# start_kwin WORK [BACKEND_OPTION...]: KDE's compositor on a 1280x720 output (Wayland socket
# wayland-kw) with a session bus of its own, in WORK/out (from idle_copy_binary); its log is
# WORK/kwin.log, which each start adds to, so that a step shows what a restart wrote. The output
# is a virtual framebuffer unless options name another backend ("--wayland-display wayland-1
# --scale 1.5": a window of a compositor whose socket is in WORK/out/run). Sets kwin_pid and
# kwin_run, the command that runs a program in that session (as uid 65534 when root, $! its own
# pid). Fails when no socket appears within 20 s.
start_kwin() {
  local run=$1/out/run backend=("${@:2}")
  [ ${#backend[@]} -eq 0 ] && backend=(--virtual)
  mkdir -p -m 700 "$run"
  [ "$(id -u)" -eq 0 ] && chown 65534:65534 "$run"
  # Debian gives kwin_wayland a file capability, which a container without it may not exec; a
  # copy has none.
  cp "$(command -v kwin_wayland)" "$1/bin/kwin_wayland"
  chmod 755 "$1/bin/kwin_wayland"
  kwin_run=(env -i PATH=/usr/bin:/bin HOME="$1/out" XDG_RUNTIME_DIR="$run" LSAN_OPTIONS="${LSAN_OPTIONS:-}")
  [ "$(id -u)" -eq 0 ] && kwin_run=(setpriv --reuid=65534 --regid=65534 --clear-groups "${kwin_run[@]}")
  "${kwin_run[@]}" KWIN_COMPOSE=Q dbus-run-session -- sh -c "echo \$\$ >'$1/out/kwin.pid'
    exec '$1/bin/kwin_wayland' \"\$@\" --width 1280 --height 720 --socket wayland-kw \
      --no-lockscreen --no-global-shortcuts --no-kactivities" sh "${backend[@]}" >>"$1/kwin.log" 2>&1 &
  wait_for 20 test -S "$run/wayland-kw" || return 1
  kwin_pid=$(cat "$1/out/kwin.pid")
  kwin_run+=(WAYLAND_DISPLAY=wayland-kw)
}

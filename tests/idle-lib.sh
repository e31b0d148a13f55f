# shellcheck shell=bash
# What the idle launcher's scripts (tests/idle-*.sh, bench/idle-launcher.sh) share (sourced, not
# run): the binary where uid 65534 can run it, the launcher's saver, timing and CPU.

# idle_copy_binary BINARY WORK: the binary, a figure and the sanitizer suppressions in WORK/bin,
# readable by everyone; WORK/out is a folder the session's user may write to.
idle_copy_binary() {
  local repo
  repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
  mkdir -p "$2/bin" "$2/out"
  cp "$1" "$2/bin/zibbles"
  cp "$repo/tests/data/decode/golden-24x24.svg" "$2/bin/figure.svg"
  cp "$repo/tests/lsan-desktop.supp" "$2/bin/"
  chmod 755 "$2"
  chmod -R a+rX "$2/bin"
  [ "$(id -u)" -eq 0 ] && chown 65534:65534 "$2/out"
  export LSAN_OPTIONS="suppressions=$2/bin/lsan-desktop.supp"
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# wait_for SECONDS COMMAND...: polls every 0.1 s.
wait_for() {
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# saver_of PID: the launcher's child, the saver, if one runs.
saver_of() { pgrep -P "$1" 2>/dev/null | head -n 1; }

# all_gone_within MS PID...: every one has ended by then.
all_gone_within() {
  local deadline=$(($(now_ms) + $1)) pid
  shift
  for pid in "$@"; do
    while kill -0 "$pid" 2>/dev/null && [ "$(ps -o stat= -p "$pid" 2>/dev/null | cut -c1)" != Z ]; do
      [ "$(now_ms)" -ge "$deadline" ] && return 1
      sleep 0.01
    done
  done
}

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

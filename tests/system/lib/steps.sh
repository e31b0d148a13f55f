# shellcheck shell=bash
# What every script that drives a real environment shares (sourced, not run): the count of
# demo/lib/tally.sh, a monotonic clock, bounded waits on it, and named steps that say what they
# measured and, when one fails, why, with the lines its environment's logs gained meanwhile:
#   ok:   a figure from the chain appears (2.31 s; figure pixels 6021)
#   FAIL a figure from the chain appears (20.05 s; figure pixels 0): not within 20 s
#   --- WORK/home/daemon.log during this step:
# A step's command calls "measured WHAT VALUE" (a poll's last value wins) and "problem TEXT"
# when it knows why better than its exit status. Time is the kernel's boot clock (/proc/uptime),
# which never steps with the wall clock, read by a builtin to the hundredth of a second.
# Sourced once: a library that sources it again must not reset the count.
[ -z "${step_lib:-}" ] || return 0
step_lib="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$step_lib/../../../demo/lib/tally.sh"

# clock_ms: milliseconds; clock_to VAR sets VAR to them, without a subshell, for tight polls.
clock_to() {
  local up
  read -r up _ </proc/uptime
  printf -v "$1" '%d' $((10#${up/./} * 10))
}
clock_ms() { local now && clock_to now && echo "$now"; }
# seconds MS: "1.23".
seconds() { printf '%d.%02d' $(($1 / 1000)) $(($1 % 1000 / 10)); }

# wait_for SECONDS COMMAND...: polls every 0.1 s until the command succeeds, at most that long.
wait_for() {
  local deadline=$(($(clock_ms) + $1 * 1000))
  until "${@:2}"; do
    if [ "$(clock_ms)" -ge "$deadline" ]; then
      problem "not within $1 s"
      return 1
    fi
    sleep 0.1
  done
}

# step_logs FILE...: logs a failed step shows (a daemon's, the programs' stderr, a
# compositor's); one that does not exist yet is empty. step_mark notes where the next step's
# lines begin: after a step, not as the next begins, so that nothing stands between a signal and
# the step that times it; what a script does between two steps belongs to the next.
step_files=()
declare -A step_sizes=()
step_mark() {
  local line
  step_sizes=()
  [ "${#step_files[@]}" -gt 0 ] || return 0
  while IFS='|' read -r line; do step_sizes[${line%|*}]=${line##*|}; done \
    < <(stat -c '%n|%s' -- "${step_files[@]}" 2>/dev/null)
}
step_logs() {
  step_files+=("$@")
  step_mark
}

declare -A step_values=()
step_order=()
step_why=""
measured() {
  [ -n "${step_values[$1]+set}" ] || step_order+=("$1")
  step_values[$1]=$2
}
# The first reason given wins: it is the nearest to the cause.
problem() { [ -n "$step_why" ] || step_why=$1; }

# The lines FILE gained since it had FROM bytes (all of it if it was written anew), at most 60.
# Fails when it gained none.
step_log_since() {
  local size lines
  size=$(stat -c %s "$1" 2>/dev/null) && [ "$size" -ne "$2" ] || return 1
  lines=$(tail -c +$(($2 < size ? $2 + 1 : 1)) "$1")
  echo "--- $1 during this step$([ "$(wc -l <<<"$lines")" -gt 60 ] && echo ", its last 60 lines"):"
  tail -n 60 <<<"$lines" | sed 's/^/  /'
}

check() {
  local name=$1 started status said file shown=""
  clock_to started
  step_values=()
  step_order=()
  step_why=""
  "${@:2}"
  status=$?
  said="$(seconds $(($(clock_ms) - started))) s"
  for file in "${step_order[@]}"; do said+="; $file ${step_values[$file]}"; done
  if [ "$status" -eq 0 ]; then
    echo "ok:   $name ($said)"
    pass
  else
    fail "$name ($said)${step_why:+: $step_why}"
    for file in "${step_files[@]}"; do step_log_since "$file" "${step_sizes[$file]:-0}" && shown=yes; done
    [ -n "$shown" ] || [ "${#step_files[@]}" -eq 0 ] || echo "--- no log gained a line during this step"
  fi
  step_mark
  return "$status"
}

# ended PID: gone, or a zombie that its parent has not reaped yet.
ended() {
  local stat
  read -r stat 2>/dev/null <"/proc/$1/stat" || return 0
  stat=${stat##*) }
  [ "${stat%% *}" = Z ]
}

# ends_after_signal BOUND_MS SINCE SIGNALLED PID...: each process ends within BOUND_MS of the
# moment it was signalled. With SIGNALLED "-" every one was signalled at SINCE (clock_ms, taken
# just before the signal was sent). Otherwise another process passes the signal on, and the
# command SIGNALLED PID tells whether it has: the moment is when it first says so, or the
# process's end if that is seen first; it must say so within 30 s of SINCE. That one's delay is
# its own, measured apart ("signalled after"), and never counted against the process.
ends_after_signal() {
  local bound=$1 since=$2 signalled=$3 pid now waiting delay=0 lasted=0
  shift 3
  local -A signal_at=() end_at=()
  if [ "$signalled" = - ]; then for pid in "$@"; do signal_at[$pid]=$since; done; fi
  while :; do
    waiting=0
    for pid in "$@"; do
      [ -z "${end_at[$pid]:-}" ] || continue
      clock_to now
      [ -n "${signal_at[$pid]:-}" ] || ! $signalled "$pid" || signal_at[$pid]=$now
      if ended "$pid"; then
        end_at[$pid]=$now
        : "${signal_at[$pid]:=$now}"
        ((signal_at[$pid] - since <= delay)) || delay=$((signal_at[$pid] - since))
        ((now - signal_at[$pid] <= lasted)) || lasted=$((now - signal_at[$pid]))
        ((now - signal_at[$pid] <= bound)) && continue
        problem "pid $pid ended only $(seconds $((now - signal_at[$pid]))) s after its signal"
      elif [ -n "${signal_at[$pid]:-}" ] && ((now - signal_at[$pid] > bound)); then
        problem "pid $pid still ran $(seconds $((now - signal_at[$pid]))) s after its signal"
      elif [ -z "${signal_at[$pid]:-}" ] && ((now - since > 30000)); then
        problem "pid $pid was not signalled $(seconds $((now - since))) s after the request"
      else
        waiting=1
        continue
      fi
      return 1
    done
    ((waiting)) || break
    sleep 0.01
  done
  [ "$signalled" = - ] || measured "signalled after" "$(seconds $delay) s"
  measured "ended after the signal" "$(seconds $lasted) s"
}

# exit_code_is CODE: the command just before ended with that exit code.
exit_code_is() {
  local status=$?
  measured "exit code" "$status"
  [ "$status" -eq "$1" ]
}
# stops_with CODE BOUND_MS SINCE PID [PID...]: the processes, signalled at SINCE, end within
# BOUND_MS, and the first, this script's child, with exit code CODE.
stops_with() {
  ends_after_signal "$2" "$3" - "${@:4}" || return 1
  wait "$4"
  exit_code_is "$1"
}

# took MS '<=|>=' BOUND_MS: a duration measured before is at most or at least the bound.
took() {
  local words="at most"
  [ "$2" = ">=" ] && words="at least"
  measured took "$(seconds "$1") s, $words $(seconds "$3") s"
  let "$1 $2 $3"
}

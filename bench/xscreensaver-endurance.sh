#!/usr/bin/env bash
# A night of use, shortened: the saver as a hack of the real screen-saver daemon under Xvfb,
# activated and deactivated 1 to 5 s apart, with one long activation (20 minutes in an hour's run)
# and a chain outage of a minute every 10 minutes. Every 10 s it samples each hack's resident
# memory, open descriptors and threads, then prints first and last sample and the largest growth.
# Memory, descriptors and threads must stay flat; any hack left behind fails the run.
set -uo pipefail
usage() {
  cat <<EOF
Usage: bench/xscreensaver-endurance.sh [--minutes N] [--samples FILE] ZIBBLES_BINARY

Runs ZIBBLES_BINARY as the only hack of the screen-saver daemon (as root: the daemon
runs as uid 65534) for N minutes (default 60) and reports whether it stayed flat.

  --minutes N     how long to run (at least 3)
  --samples FILE  keep every sample there (tab-separated), not only the summary,
                  and the daemon's log beside it (FILE.daemon.log)
  --help          show this text
Exit status: 0 flat and clean, 1 something grew or a hack misbehaved, 2 bad usage.
EOF
}
minutes=60
samples_out=""
while [ $# -gt 0 ]; do
  case $1 in
    --minutes) minutes=${2:-}; shift 2 || { usage >&2; exit 2; } ;;
    --samples) samples_out=${2:-}; shift 2 || { usage >&2; exit 2; } ;;
    --help | -h) usage; exit 0 ;;
    -*) echo "xscreensaver-endurance: unknown option $1" >&2; usage >&2; exit 2 ;;
    *) break ;;
  esac
done
[ $# -eq 1 ] && [ -x "$1" ] || { usage >&2; exit 2; }
[[ $minutes =~ ^[0-9]+$ ]] && [ "$minutes" -ge 3 ] || { echo "--minutes must be 3 or more" >&2; exit 2; }
binary=$(realpath "$1")
source "$(dirname "${BASH_SOURCE[0]}")/../tests/system/lib/xscreensaver-lib.sh"

duration=$((minutes * 60))
long_start=$((duration * 3 / 10))
long_length=$((duration * 4 / 10 < 1200 ? duration * 4 / 10 : 1200))
outage_every=$((duration >= 1200 ? 600 : duration / 2))
outage_length=60
helpers=()
stop_helpers() {
  local pid
  for pid in "${helpers[@]}"; do kill "$pid" 2>/dev/null; done
  xs_cleanup
}

xs_setup "$binary"
trap stop_helpers EXIT
samples="$work/samples.tsv"
check "the daemon answers" xs_daemon_answers
begin=$SECONDS
elapsed() { echo $((SECONDS - begin)); }

# One line per hack every 10 s: seconds into the run, pid, seconds the hack has run, resident KiB,
# descriptors, threads.
sample_hacks() {
  local ticks boot_age pid
  ticks=$(getconf CLK_TCK)
  while sleep 10; do
    boot_age=$(cut -d' ' -f1 /proc/uptime)
    for pid in $(xs_hack_pids); do
      local rss threads fds started
      rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$pid/status" 2>/dev/null) || continue
      threads=$(awk '/^Threads:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
      fds=$(find "/proc/$pid/fd" -mindepth 1 -maxdepth 1 2>/dev/null | wc -l)
      started=$(sed 's/^.*) //' "/proc/$pid/stat" 2>/dev/null | awk '{ print $20 }')
      [ -n "$rss" ] && [ -n "$started" ] || continue
      printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$(elapsed)" "$pid" \
        "$(awk -v u="$boot_age" -v s="$started" -v k="$ticks" 'BEGIN { printf "%d", u - s / k }')" \
        "$rss" "$fds" "$threads" >>"$samples"
    done
  done
}
# The chain goes down for a minute every outage_every seconds.
outages() {
  local next=$outage_every
  while [ "$next" -lt "$duration" ]; do
    sleep $((next - $(elapsed)))
    echo "$(elapsed) down" >>"$work/outages"
    xs_chain_down
    sleep "$outage_length"
    xs_chain_up >/dev/null || echo "$(elapsed) the chain did not start again" >>"$work/outages"
    echo "$(elapsed) up" >>"$work/outages"
    next=$((next + outage_every))
  done
}
sample_hacks &
helpers+=($!)
outages &
helpers+=($!)

cycles=0
problems=()
long_pid=""
long_done=0
progress() { [ -t 1 ] && printf '\r%d of %d s, %d cycles, %d problems ' "$(elapsed)" "$duration" "$cycles" "${#problems[@]}"; }
while [ "$(elapsed)" -lt "$duration" ]; do
  if [ "$long_done" -eq 0 ] && [ "$(elapsed)" -ge "$long_start" ]; then
    long_done=1
    (sleep 15 && xs_hack_pids | head -n 1 >"$work/long.pid") &
    step_why=""
    xs_cycle "$long_length" || problems+=("long activation at $(elapsed) s ($(date -u +%T)): $step_why")
  else
    step_why=""
    xs_cycle "$(xs_random_seconds 1 5)" || problems+=("cycle $cycles at $(elapsed) s ($(date -u +%T)): $step_why")
  fi
  # After a failed cycle, leave no hack behind for the next one to trip over.
  xs_deactivate >/dev/null
  cycles=$((cycles + 1))
  progress
  sleep "$(xs_random_seconds 1 5)"
done
[ -t 1 ] && echo
long_pid=$(cat "$work/long.pid" 2>/dev/null)
[ -n "$samples_out" ] && cp "$samples" "$samples_out" && cp "$daemon_log" "$samples_out.daemon.log"

echo "$cycles activations in $(elapsed) s; outages (s: state): $(tr '\n' ' ' <"$work/outages" 2>/dev/null)"
check "every activation had one hack per screen, each ended by the deactivation rule" test "${#problems[@]}" -eq 0
for problem in "${problems[@]:0:10}"; do echo "  $problem"; done
check "no sanitizer report from the hacks" xs_no_sanitizer_report
check "no X error in the daemon's log" xs_no_x_error

# The table: the long activation's hack on its own (one process over 20 minutes), then every
# hack of the short activations at its own first sample, in the order they ran.
python3 - "$samples" "${long_pid:-0}" >"$work/report" <<'EOF'
import sys
rows = [line.split("\t") for line in open(sys.argv[1]) if line.strip()]
rows = [(int(t), int(pid), int(age), int(rss), int(fds), int(threads)) for t, pid, age, rss, fds, threads in rows]
long_pid = int(sys.argv[2])
# What a sample may rise by and still be flat: fetches in flight hold up to five connections,
# and the allocator keeps a little of what it freed.
measures = (("resident KiB", 3, lambda first: max(4096, first // 20)), ("descriptors", 4, lambda _: 5),
            ("threads", 5, lambda _: 0))
def table(name, series, warmup):
    settled = [r for r in series if r[2] >= warmup] or series
    if len(settled) < 2:
        print(f"FAIL {name}: only {len(settled)} samples")
        return
    quarter = max(1, len(settled) // 4)
    print(f"| {name} | samples | first | last | largest growth | flat |")
    print("|---|---|---|---|---|---|")
    for label, i, allowed in measures:
        first, last = settled[0][i], settled[-1][i]
        growth = max(r[i] for r in settled) - first
        # Flat: the busiest moment of the last quarter no higher than that of the first.
        rise = max(r[i] for r in settled[-quarter:]) - max(r[i] for r in settled[:quarter])
        flat = rise <= allowed(first)
        print(f"| {label} | {len(settled)} | {first} | {last} | {growth:+d} | {'yes' if flat else 'NO'} |")
        print(("PASS " if flat else "FAIL ") + f"{name}: {label} stays flat")
long = [r for r in rows if r[1] == long_pid]
# A hack's first seconds load figures: the long activation is judged from its second minute on.
table("long activation, one hack", long, 60)
firsts = {}
for r in rows:
    if r[1] != long_pid and r[1] not in firsts:
        firsts[r[1]] = r
table("short activations, a hack each", sorted(firsts.values()), 0)
EOF
grep '^|' "$work/report"
while read -r verdict text; do
  check "$text" test "$verdict" = PASS
done < <(grep -E '^(PASS|FAIL)' "$work/report")

xs_stop_daemon
finish

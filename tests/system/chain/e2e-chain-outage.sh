#!/usr/bin/env bash
# The chain goes away while the saver runs, and comes back. On real time (the outage is real): the
# saver keeps running, asks again 1.5 s after each failed fetch and never sooner (only a leg end
# asks earlier, to refill the queue), and shows new figures once the chain answers again.
# A tall, narrow view makes legs of about a second, so the queue runs dry during the outage.
# Usage: e2e-chain-outage.sh PATH/zibbles-render PATH/zibbles-inspect. Last line "N passed, M failed".
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e-lib.sh"
e2e_setup chain-outage 18800 "$@"
e2e_start_chain

trace="$work/trace.jsonl"
run_seconds=22
step_logs "$work/render.out" "$work/down.out" "$work/up-again.out"
timeout 60 "$render" --endpoint "$endpoint" --seconds $run_seconds --fps 4 --size 120x480 \
  --trace "$trace" >"$work/render.out" 2>&1 &
e2e_host_pid=$!
started=$(clock_ms)

# Lines of the trace so far that hold this text.
trace_count() {
  local n
  n=$(grep -c "$1" "$trace" 2>/dev/null)
  echo "${n:-0}"
}
# at_least WHAT N: the trace holds at least N lines with WHAT.
at_least() {
  local count
  count=$(trace_count "$1")
  measured "trace lines with $1" "$count"
  [ "$count" -ge "$2" ]
}

check "a figure is shown before the outage" wait_for 8 at_least '"figure.shown"' 1
sleep 2
chain_down() { "$e2e_chain" down >"$work/down.out" 2>&1; }
check "the chain goes down" chain_down
check "fetches fail while the chain is down" wait_for 8 at_least '"outcome":"error"' 3
sleep 3
check "the saver runs on through the outage" kill -0 "$e2e_host_pid"
chain_up_again() {
  "$e2e_chain" up >"$work/up-again.out" 2>&1 || return 1
  measured "back after" "$(seconds $(($(clock_ms) - started))) s of the run"
}
check "the chain starts again on port $ZIBBLES_CHAIN_PORT" chain_up_again
render_ends() {
  wait "$e2e_host_pid"
  exit_code_is 0
}
check "zibbles-render exits 0 after the outage" render_ends
e2e_host_pid=""

python3 - "$trace" >"$work/checks.out" 2>&1 <<'EOF'
import json, sys
events = [json.loads(line) for line in open(sys.argv[1])]
def named(name): return [e for e in events if e["event"] == name]
def claim(ok, text): print(("PASS " if ok else "FAIL ") + text)

end = events[-1]["t"]
sent = [e["t"] for e in named("request.sent")]
failures = [e["t"] for e in named("request.finished") if e["outcome"] == "error"]
oks = [e["t"] for e in named("request.finished") if e["outcome"] == "ok"]
leg_ends = [e["t"] for e in named("animation.ended") if e["finished"]]
shown = [e["t"] for e in named("figure.shown")] + [e["t"] for e in named("contents.set") if e["width"] > 0]
if not failures:
    claim(False, "no fetch failed while the chain was down")
    sys.exit()

# About 1.5 s after each failure the supply asks again (the slack is for a loaded machine).
unanswered = [f for f in failures if f + 3.0 < end and not any(1.0 <= s - f <= 3.0 for s in sent)]
claim(not unanswered, f"a new request about 1.5 s after each of {len(failures)} failures; none after {unanswered}")
# Never sooner: while fetches fail, each request comes at a leg end or 1.5 s after a failure, not
# before (5 ms of slack: the request is traced on the session thread; 0.75 s late for a busy
# machine).
outage = [s for s in sent if failures[0] < s <= failures[-1]]
early = [s for s in outage if not any(0 <= s - e <= 0.25 for e in leg_ends)
         and not any(1.5 - 0.005 <= s - f <= 2.25 for f in failures)]
claim(len(outage) >= 2 and not early, f"{len(outage)} requests during the outage, none early: {early}")
# The rate stays bounded: one waiting retry refills at most five places, and so does each leg
# end; a retry per failure used to let the rate grow for as long as the outage lasted.
busiest = max(sum(1 for t in outage if w <= t < w + 1.5) for w in outage) if outage else 0
claim(busiest <= 20, f"at most 20 requests in any 1.5 s of the outage (busiest: {busiest})")
back = [t for t in oks if t > failures[-1]]
claim(bool(back), "fetches succeed again once the chain is back")
claim(bool(back) and any(t >= back[0] for t in shown), "a figure is shown again after the chain is back")
claim(any(t < failures[0] for t in shown), "a figure was shown before the outage")
EOF
while read -r verdict text; do
  if [[ $verdict == PASS ]]; then pass; else fail "$verdict $text"; fi
done <"$work/checks.out"
grep -q '^PASS\|^FAIL' "$work/checks.out" || fail "the checks did not run"

e2e_finish

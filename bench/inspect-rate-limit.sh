#!/usr/bin/env bash
# zibbles-inspect --survey against an endpoint that allows 10 requests a second: the demo chain
# behind nginx (tests/system/lib/front-lib.sh), 10 r/s with a burst of 2, the excess refused. For each front
# (429 with Retry-After: 1; 200 with a JSON-RPC -32005 error; each of the two again with the burst
# served and the excess refused at once instead of queued), RUNS surveys of IDS ids (a new
# seed each run), each timed as the whole process from start to exit; the median wall time, its
# ratio to the ideal IDS / 10 s, and the medians of what the summaries counted.
# Usage: bench/inspect-rate-limit.sh PATH/zibbles-inspect [RUNS [IDS]]   (defaults: 5 runs, 60 ids)
# BENCH_FRONTS="over-429 ..." measures only those fronts; BENCH_BEFORE=PATH runs an earlier build
# alongside, one run of each in turn on each front.
set -euo pipefail
inspect=$(realpath "$1")
runs=${2:-5}
ids=${3:-60}
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/demo/lib/ports.sh"
source "$repo/tests/system/lib/front-lib.sh"

work=$(mktemp -d)
export ZIBBLES_CHAIN_DIR="$work/chain"
ZIBBLES_CHAIN_PORT=$(free_port)
export ZIBBLES_CHAIN_PORT
cleanup() {
  front_down
  "$repo/demo/chain" down >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
"$repo/demo/chain" up >/dev/null
front_up "$work/front" "$ZIBBLES_CHAIN_PORT" over-429 over-rpc prompt-429 prompt-rpc

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

builds=(after)
declare -A program=([after]=$inspect)
if [ -n "${BENCH_BEFORE:-}" ]; then
  builds=(before after)
  program[before]=$(realpath "$BENCH_BEFORE")
fi
fronts=${BENCH_FRONTS:-over-429 over-rpc prompt-429 prompt-rpc}
for kind in $fronts; do
  for build in "${builds[@]}"; do : >"$work/$kind-$build.rows"; done
  for run in $(seq "$runs"); do
    for build in "${builds[@]}"; do
      # An idle second and a half empties the front's bucket, so each run starts alike.
      sleep 1.5
      started=$(date +%s.%N)
      "${program[$build]}" --survey "$ids" --seed "$run" --json --endpoint "${front_url[$kind]}" \
        >"$work/summary.json" || true
      ended=$(date +%s.%N)
      python3 - "$work/summary.json" "$started" "$ended" >>"$work/$kind-$build.rows" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
print(float(sys.argv[3]) - float(sys.argv[2]), s["decoded"], s["failed"], s["refused"]["count"],
      s["refused"]["retried"], s["rate"]["tokensPerSecond"])
PY
      echo "$kind $build run $run: $(tail -n 1 "$work/$kind-$build.rows")" >&2
    done
  done
done
printf '%-10s %-6s %9s %13s %8s %8s %7s %8s %8s %9s\n' front build "wall (s)" "spread" "× ideal" \
  decoded failed refused retried "tokens/s"
for kind in $fronts; do
  for build in "${builds[@]}"; do
    rows="$work/$kind-$build.rows"
    column() { cut -d' ' -f"$1" "$rows" | median; }
    spread=$(cut -d' ' -f1 "$rows" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%.2f-%.2f", lo, hi }')
    awk -v k="$kind" -v b="$build" -v w="$(column 1)" -v sp="$spread" \
      -v ideal="$(awk -v n="$ids" 'BEGIN { print n / 10 }')" \
      -v d="$(column 2)" -v f="$(column 3)" -v r="$(column 4)" -v t="$(column 5)" -v p="$(column 6)" \
      'BEGIN { printf "%-10s %-6s %9.2f %13s %8.2f %8s %7s %8s %8s %9s\n", k, b, w, sp, w / ideal, d, f, r, t, p }'
  done
done
echo "(medians of $runs runs of --survey $ids; the ideal is $ids / 10 s)"

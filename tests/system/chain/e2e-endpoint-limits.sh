#!/usr/bin/env bash
# Endpoints that push back: nginx in front of the local chain limits how fast a client may ask
# (tests/system/lib/front-lib.sh). Through each limiting front, --survey and --token decode every token and
# count the refusals apart from the failures; a front that refuses everything ends each id after
# its six tries, with a reason in words, and exit 1; the saver against a front answering 429 still
# shows figures and says that the endpoint is limiting requests.
# Usage: e2e-endpoint-limits.sh PATH/zibbles-render PATH/zibbles-inspect. Last line "N passed, M failed".
set -uo pipefail
here="$(dirname "${BASH_SOURCE[0]}")"
source "$here/../lib/e2e-lib.sh"
source "$here/../lib/front-lib.sh"
e2e_setup endpoint-limits 18650 "$@"
command -v nginx >/dev/null || { echo "$0: nginx is missing (nginx-light); skipped" >&2; exit 77; }
e2e_start_chain
trap 'front_down; e2e_cleanup' EXIT
front="$work/front"
step_logs "$front/error.log" "$work/saver.err"
check "nginx starts in front of the chain" front_up "$front" "$ZIBBLES_CHAIN_PORT" over-429 over-rpc prompt-429 prompt-rpc refuse-all strict-429 ||
  e2e_finish

# Slow by design, so they run beside the table: the saver for 12 s, and the six tries of each id
# at a front that refuses everything (about 8 s of backoff each, one id after the other). The
# saver's five opening fetches meet only two refusals at 10 requests a second (the burst takes
# three), never the three in a row its status line waits for; at 1 a second four are refused.
saver_url=${front_url[strict-429]}
timeout 60 "$render" --endpoint "$saver_url" --seconds 12 --fps 4 --size 120x480 \
  --trace "$work/saver.jsonl" >"$work/saver.out" 2>"$work/saver.err" &
e2e_host_pid=$!
refusing=${front_url[refuse-all]}
(
  started=$(clock_ms)
  "$inspect" --token 5-6 --endpoint "$refusing" >"$work/refused-tokens.out" 2>&1
  echo "$? $started $(clock_ms)" >"$work/refused-tokens.status"
) &
refused_tokens=$!
"$inspect" --survey 2 --seed 1 --json --endpoint "$refusing" >"$work/refused-survey.json" 2>&1 &
refused_survey=$!

# The limiting fronts, with a queue and without (the excess refused at once): every token decodes,
# and what the front refused (nginx's own count) is what the summary and the lines count.
while IFS='|' read -r kind; do
  url=${front_url[$kind]}
  "$inspect" --survey 30 --seed 11 --json --endpoint "$url" >"$work/$kind-survey.json" 2>&1
  status=$?
  check "$kind: --survey exits 0 (got $status)" test "$status" -eq 0
  rejected=$(grep -c REJECTED "$front/$kind.log")
  check "$kind: --survey decodes all 30, the $rejected refusals counted apart" \
    python3 - "$work/$kind-survey.json" "$rejected" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
refused, rate = s["refused"], s["rate"]
assert (s["decoded"], s["failed"], s["failures"]) == (30, 0, []), s
assert refused["count"] == int(sys.argv[2]) >= 1, (refused, sys.argv[2])
assert refused["retried"] == refused["count"] and 1 <= refused["tokens"] <= refused["count"], s
assert rate["requests"] == 30 + refused["retried"] and 1 <= rate["concurrency"] <= 8, s
assert rate["seconds"] > 0 and rate["tokensPerSecond"] > 0, s
PY
  before=$(grep -c REJECTED "$front/$kind.log")
  "$inspect" --token 1-12 --endpoint "$url" >"$work/$kind-tokens.out" 2>&1
  status=$?
  check "$kind: --token exits 0 (got $status)" test "$status" -eq 0
  rejected=$(($(grep -c REJECTED "$front/$kind.log") - before))
  check "$kind: --token decodes each id, its lines counting the $rejected refusals" \
    python3 - "$work/$kind-tokens.out" "$rejected" <<'PY'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert [l["token"] for l in lines] == list(range(1, 13)), lines
assert all(l["pixels"] and "error" not in l for l in lines), lines
assert sum(l.get("refused", 0) for l in lines) == int(sys.argv[2]) >= 1, (lines, sys.argv[2])
PY
done <<EOF
over-429
over-rpc
prompt-429
prompt-rpc
EOF

wait "$refused_tokens"
read -r status started ended <"$work/refused-tokens.status"
check "refuse-all: --token exits 1 (got $status)" test "$status" -eq 1
words="the endpoint is unavailable for now (HTTP 503); refused all 6 tries"
check "refuse-all: each id ends after its 6 tries, the last refusal in words" \
  test "$(cat "$work/refused-tokens.out")" == \
  "{\"token\":5,\"stages\":[],\"pixels\":null,\"stage\":\"request\",\"error\":\"$words\",\"refused\":6}
{\"token\":6,\"stages\":[],\"pixels\":null,\"stage\":\"request\",\"error\":\"$words\",\"refused\":6}"
# Five waits of 250 ms doubling, each at least three quarters of its step: 5.8 s at the least.
check "refuse-all: the tries are spread by the backoff" took $((ended - started)) ">=" 5800
wait "$refused_survey"
status=$?
check "refuse-all: --survey exits 1 (got $status)" test "$status" -eq 1
check "refuse-all: the survey's failures name the refusal, each id tried 6 times" \
  python3 - "$work/refused-survey.json" "$words" <<'PY'
import json, sys
s = json.load(open(sys.argv[1]))
assert (s["decoded"], s["failed"]) == (0, 2), s
assert [(f["stage"], f["reason"], f["count"]) for f in s["failures"]] == [("request", sys.argv[2], 2)], s
assert s["refused"] == {"count": 12, "retried": 10, "tokens": 2}, s
PY
check "refuse-all: nginx saw exactly 6 requests per id" test "$(wc -l <"$front/refuse-all.log")" -eq 24

wait "$e2e_host_pid"
status=$?
e2e_host_pid=""
check "saver: zibbles-render exits 0 against the limiting front (got $status)" test "$status" -eq 0
check "saver: figures are shown although most requests are refused" \
  test "$(grep -c '"figure.shown"' "$work/saver.jsonl")" -ge 2
check "saver: the status line says the endpoint is limiting requests" \
  grep -qF "zibbles-render: no figures from $saver_url: the endpoint is limiting requests (HTTP 429)" \
  "$work/saver.err"

e2e_finish

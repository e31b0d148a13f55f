#!/usr/bin/env bash
# Real answers of the local chain decode: a sample of ids spread over the whole collection, each
# asked of anvil (demo/chain dump) and decoded by zibbles-inspect --batch, yields pixels; ids the
# collection lacks are reported as failures, one line each.
# Usage: e2e-inspect-batch.sh PATH/zibbles-render PATH/zibbles-inspect. Last line "N passed, M failed".
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e-lib.sh"
e2e_setup inspect-batch 18700 "$@"
e2e_start_chain

# Both ends, the two ids the saver skips, and 36 ids at a stride across the range, shifted by a
# random offset so that runs cover different tokens (the offset is printed for a rerun).
offset=${ZIBBLES_E2E_OFFSET:-$((RANDOM % 2311))}
{
  printf '%s\n' 1 2 83299 83300 1961 4800
  for i in $(seq 0 35); do echo $((1 + offset + i * 2311)); done
} >"$work/ids"
if out="$(e2e_decodes_all "$work/ids")"; then
  pass
else
  fail "ids (offset $offset) that did not decode:"
  sed 's/^/  /' <<<"$out"
fi

# The other side: ids without a token revert, and the batch says so per line and in its status.
printf '%s\n' 0 83301 >"$work/absent"
"$e2e_chain" dump 0 83301 >"$work/absent.jsonl" 2>/dev/null
"$inspect" --batch "$work/absent.jsonl" >"$work/absent.out" 2>/dev/null
status=$?
check "zibbles-inspect --batch exits 1 when an answer does not decode (got $status)" test "$status" -eq 1
check "each revert gives a line with no pixels and an error" python3 - "$work/absent.out" <<'PY'
import json, sys
lines = open(sys.argv[1]).read().splitlines()
ok = len(lines) == 2 and all(json.loads(l).get("pixels") is None and json.loads(l).get("error") for l in lines)
sys.exit(0 if ok else 1)
PY

e2e_finish

#!/usr/bin/env bash
# Self-check of the demo chain: starts its own node on a free port with its own state folder (a
# running demo is left alone), checks the collection's answers, and always stops the node again.
# Last line: "N passed, M failed"; exit 0 only if nothing failed.
set -uo pipefail

demo_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
chain="$demo_dir/chain"
work="$(mktemp -d "${TMPDIR:-/tmp}/zibbles-chain-test.XXXXXX")"
export ZIBBLES_CHAIN_DIR="$work/chain"

source "$demo_dir/lib/ports.sh"

port=""
for candidate in $(seq 18545 18595); do
  if ! port_in_use "$candidate"; then
    port=$candidate
    break
  fi
done
export ZIBBLES_CHAIN_PORT="${port:-18545}"

cleanup() {
  "$chain" down >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

source "$demo_dir/lib/tally.sh"

if "$chain" up >"$work/up.out" 2>&1; then
  pass
else
  fail "chain up on port $ZIBBLES_CHAIN_PORT:"
  sed 's/^/  /' "$work/up.out"
  finish
fi

grep -qx "endpoint: http://127.0.0.1:$ZIBBLES_CHAIN_PORT" "$work/up.out" && pass ||
  fail "chain up did not print the endpoint on port $ZIBBLES_CHAIN_PORT"

# The collection itself: decoding, artwork, reverts.
node "$demo_dir/check-tokens.mjs" >"$work/tokens.out" 2>&1
tokens_status=$?
grep '^FAIL' "$work/tokens.out"
summary="$(tail -n 1 "$work/tokens.out")"
if [[ $summary =~ ^([0-9]+)\ passed,\ ([0-9]+)\ failed$ ]]; then
  passed=$((passed + BASH_REMATCH[1]))
  failed=$((failed + BASH_REMATCH[2]))
  [[ $tokens_status -eq 0 || ${BASH_REMATCH[2]} -gt 0 ]] || fail "check-tokens exited $tokens_status"
else
  fail "check-tokens ended without a summary:"
  sed 's/^/  /' "$work/tokens.out"
fi

# dump: one compact JSON-RPC answer per id, in order; a revert is an error answer, not a crash.
if dump="$("$chain" dump 1 83300 0 2>&1)"; then
  lines="$(printf '%s\n' "$dump" | wc -l)"
  [[ $lines -eq 3 ]] && pass || fail "dump printed $lines lines for 3 ids"
  [[ "$(printf '%s\n' "$dump" | sed -n 2p)" == '{"jsonrpc":"2.0","id":83300,"result":"0x'* ]] && pass ||
    fail "dump's answer for 83300 is not a compact result line"
  [[ "$(printf '%s\n' "$dump" | sed -n 3p)" == *'"error"'* ]] && pass || fail "dump's answer for 0 is not an error"
else
  fail "chain dump failed: $dump"
fi
"$chain" dump 12x >/dev/null 2>&1 && fail "dump accepted the id 12x" || pass

# A second node on a port that is taken must be refused, and must not disturb the first.
if ZIBBLES_CHAIN_DIR="$work/other" "$chain" up >"$work/taken.out" 2>&1; then
  fail "chain up started a second node on the taken port $ZIBBLES_CHAIN_PORT"
  ZIBBLES_CHAIN_DIR="$work/other" "$chain" down >/dev/null 2>&1
else
  grep -q "already in use" "$work/taken.out" && pass || fail "no clear message for a taken port: $(cat "$work/taken.out")"
fi
"$chain" status >/dev/null 2>&1 && pass || fail "chain status does not see the running node"

# Going down stops the node by its pid; a second down is harmless.
pid="$(cat "$ZIBBLES_CHAIN_DIR/anvil.pid" 2>/dev/null)"
"$chain" down >/dev/null 2>&1 && pass || fail "chain down failed"
[[ -n $pid ]] && ! kill -0 "$pid" 2>/dev/null && pass || fail "the node (pid ${pid:-?}) still runs after chain down"
[[ ! -e $ZIBBLES_CHAIN_DIR/anvil.pid ]] && pass || fail "chain down left the pid file"
"$chain" down >/dev/null 2>&1 && pass || fail "a second chain down failed"
"$chain" status >/dev/null 2>&1 && fail "chain status says a stopped node runs" || pass

finish

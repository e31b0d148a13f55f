# shellcheck shell=bash
# Shared by the end-to-end scripts (sourced, not run): arguments, a work folder, a chain node of the
# script's own on a free port, whose log is a log of every step (steps.sh), and a check that real
# answers decode. Every wait is bounded; the node is stopped on any exit.
#
# A script calls: e2e_setup NAME FIRST_PORT "$@", then e2e_start_chain, then check/pass/fail, and
# e2e_finish last.

e2e_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../.." && pwd)"
e2e_chain="$e2e_root/demo/chain"
source "$e2e_root/demo/lib/ports.sh"
source "$e2e_root/tests/system/lib/steps.sh"

e2e_finish() { finish; }

# e2e_setup NAME FIRST_PORT RENDER INSPECT: the hosts under test and a fresh work folder.
e2e_setup() {
  local name=$1
  e2e_first_port=$2
  render=${3:-}
  inspect=${4:-}
  if [[ -z $render || -z $inspect || $render == -h || $render == --help ]]; then
    echo "usage: $0 PATH/zibbles-render PATH/zibbles-inspect" >&2
    exit 2
  fi
  for program in "$render" "$inspect"; do
    [[ -x $program ]] || { echo "$0: no program at $program (build the hosts first)" >&2; exit 2; }
  done
  # Without node and npm there is no chain to test against: skipped, not failed.
  for tool in node npm python3; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing; skipped" >&2; exit 77; }
  done
  work="$(mktemp -d "${TMPDIR:-/tmp}/zibbles-$name.XXXXXX")"
  export ZIBBLES_CHAIN_DIR="$work/chain"
  step_logs "$work/up.out" "$ZIBBLES_CHAIN_DIR/anvil.log"
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
}

e2e_cleanup() {
  "$e2e_chain" down >/dev/null 2>&1
  # A host still running (a script that failed half-way) goes too; it is ours by its pid.
  [[ -n ${e2e_host_pid:-} ]] && kill "$e2e_host_pid" 2>/dev/null
  if [[ $failed -eq 0 ]]; then rm -rf "$work"; else echo "(kept $work for a look)"; fi
}

# Starts the node on the first free port of the script's range of 50. Another test may take a
# port between the look and anvil's bind, so a refused start moves on to the next port.
e2e_start_chain() { check "the chain starts" e2e_chain_up || e2e_finish; }
e2e_chain_up() {
  local candidate
  for candidate in $(seq "$e2e_first_port" $((e2e_first_port + 49))); do
    port_in_use "$candidate" && continue
    export ZIBBLES_CHAIN_PORT=$candidate
    if "$e2e_chain" up >"$work/up.out" 2>&1; then
      endpoint="http://127.0.0.1:$candidate"
      measured port "$candidate"
      return 0
    fi
    grep -q 'already in use' "$work/up.out" || break
  done
  return 1
}

# e2e_decodes_all FILE_OF_IDS: every id's real answer decodes to pixels in zibbles-inspect --batch.
# Prints what did not.
e2e_decodes_all() {
  local ids_file=$1
  local count
  count=$(wc -l <"$ids_file")
  # shellcheck disable=SC2046
  "$e2e_chain" dump $(cat "$ids_file") >"$work/answers.jsonl" 2>"$work/dump.err" || {
    echo "chain dump failed:"
    sed 's/^/  /' "$work/dump.err"
    return 1
  }
  "$inspect" --batch "$work/answers.jsonl" >"$work/decoded.jsonl" 2>"$work/inspect.err"
  python3 - "$ids_file" "$work/decoded.jsonl" "$count" <<'EOF'
import json, sys
ids = open(sys.argv[1]).read().split()
lines = open(sys.argv[2]).read().splitlines()
bad = []
if len(lines) != int(sys.argv[3]):
    bad.append(f"{len(lines)} answers decoded for {sys.argv[3]} ids")
for token, line in zip(ids, lines):
    try:
        result = json.loads(line)
    except ValueError:
        bad.append(f"{token}: not JSON: {line[:80]}")
        continue
    if not result.get("pixels") or "error" in result:
        bad.append(f"{token}: {result.get('error', 'no pixels')}")
for b in bad:
    print(b)
sys.exit(1 if bad else 0)
EOF
}

#!/usr/bin/env bash
# zibbles-inspect asks the local chain itself: --token over a range with ids that revert, --survey
# with its JSON summary and contact sheet, every bad-usage case, and an endpoint nobody answers.
# Usage: e2e-inspect-chain.sh PATH/zibbles-render PATH/zibbles-inspect. Last line "N passed, M failed".
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e-lib.sh"
e2e_setup inspect-chain 18550 "$@"
e2e_start_chain

# --token: the ids 0 and 83301 lie outside the collection and revert; the others decode. One line
# per id, in id order, each as --batch writes it with the "token" first.
"$inspect" --token 83301,83299-83300,0,1-3 --endpoint "$endpoint" >"$work/tokens.out" 2>"$work/tokens.err"
status=$?
check "--token exits 1 when an id reverts (got $status)" test "$status" -eq 1
check "--token gives a line per id in order, reverts carrying the node's message" \
  python3 - "$work/tokens.out" <<'PY'
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert [l["token"] for l in lines] == [0, 1, 2, 3, 83299, 83300, 83301], lines
for l in lines:
    assert list(l)[:2] == ["token", "stages"], l
    if l["token"] in (0, 83301):
        assert l["pixels"] is None and l["stage"] == "rpc", l
        assert "execution reverted: ZibblesDemo: no token with this id" in l["error"], l
    else:
        assert l["pixels"] and l["stages"] == ["rpc", "abi", "uri", "svg"], l
PY
"$e2e_chain" dump 2 >"$work/two.jsonl" 2>/dev/null
"$inspect" --batch "$work/two.jsonl" >"$work/two.out"
check "--token's line is --batch's line with the token before it" \
  test "$(sed -n 3p "$work/tokens.out")" == "{\"token\":2,$(cut -c2- "$work/two.out")"

# --survey: counts at the top, decoded figures on the sheet, the same ids for the same seed.
"$inspect" --survey 24 --seed 5 --json --contact-sheet "$work/sheet.png" --endpoint "$endpoint" \
  >"$work/survey.json" 2>"$work/survey.err"
status=$?
check "--survey exits 0 when every id decodes (got $status)" test "$status" -eq 0
check "--survey --json is one object with the counts and figures at its top level" \
  python3 - "$work/survey.json" <<'PY'
import json, sys
text = open(sys.argv[1]).read()
assert text.count("\n") == 1, text
s = json.loads(text)
assert (s["asked"], s["decoded"], s["failed"], s["failures"], s["seed"]) == (24, 24, 0, [], 5), s
assert s["rects"]["min"] <= s["rects"]["median"] <= s["rects"]["max"], s
assert 0 < s["answerBytes"]["median"] <= s["answerBytes"]["max"], s
assert 0 < s["requestMilliseconds"]["median"] <= s["requestMilliseconds"]["p95"], s
PY
# 24 figures on eight a row: three rows of 96-pixel cells with 8-pixel gaps.
check "the contact sheet holds the 24 figures" \
  test "$(identify -format %wx%h "$work/sheet.png" 2>&1)" == "840x320"
check "nothing drawn on standard error when it is not a terminal" test ! -s "$work/survey.err"
"$inspect" --survey 3 --seed 5 --endpoint "$endpoint" >"$work/again.txt"
check "the text summary counts what the seed drew" grep -q '^decoded: 3$' "$work/again.txt"

# An endpoint nobody listens on: each id says why, in words, and the run fails.
closed=$(free_port)
"$inspect" --token 7-8 --endpoint "http://127.0.0.1:$closed" >"$work/refused.out" 2>&1
status=$?
check "an unreachable endpoint exits 1 (got $status)" test "$status" -eq 1
check "each id of an unreachable endpoint says connection refused" test "$(cat "$work/refused.out")" == \
  '{"token":7,"stages":[],"pixels":null,"stage":"request","error":"connection refused"}
{"token":8,"stages":[],"pixels":null,"stage":"request","error":"connection refused"}'

# Bad usage: a message naming the problem and exit 2, before anything is asked.
while IFS='|' read -r arguments message; do
  out=$(eval "\"\$inspect\" $arguments" 2>&1 </dev/null)
  status=$?
  check "'$arguments' is bad usage (got $status)" test "$status" -eq 2
  check "'$arguments' says: $message" grep -qF -- "$message" <<<"$out"
done <<EOF_CASES
--token -1|'-1' is not an id or a range
--token 9223372036854775808|is not an id or a range FIRST-LAST
--token 5-3|the range '5-3' runs backwards
--token 1,,2|'' is not an id or a range
--token 0-9223372036854775807|more than 1000000 ids
--token 1 --endpoint ftp://127.0.0.1/|expected an http:// or https:// URL with a host
--token 1 --endpoint http://|expected an http:// or https:// URL with a host
--token 1 --contract 0x1234|expected 0x and 40 hexadecimal digits, got '0x1234'
--token 1 --survey 2|--token and --survey do not go together
--token 1 --batch|they take no FILE, --batch or --render
--token 1 --seed 3|--seed, --json and --contact-sheet go with --survey
--endpoint $endpoint|--endpoint and --contract go with --token or --survey
--survey 0|expected a whole number from 1 to 83298
--survey 83299|expected a whole number from 1 to 83298
--survey 5 --seed -2|expected a whole number from 0 to 2^64-1
--survey 4097 --contact-sheet x.png|--contact-sheet draws at most 4096 figures
EOF_CASES

e2e_finish

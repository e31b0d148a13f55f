#!/usr/bin/env bash
# The saver on the real local chain, headless: 30 seconds of animation on virtual time (which, while
# answers are awaited, runs no faster than real time) with the trace on. Checked from the trace,
# the frames and the contact sheet: the five fetches at start, every answer fetched and decoded,
# the first figure within a second, a new figure at each leg end, no retry, the figure on the dark
# grey background.
# Usage: e2e-render.sh PATH/zibbles-render PATH/zibbles-inspect. Last line "N passed, M failed".
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../lib/e2e-lib.sh"
e2e_setup render 18600 "$@"
e2e_start_chain

seed=${ZIBBLES_E2E_SEED:-$((RANDOM * 32768 + RANDOM))}
fps=5
step_logs "$work/render.out"
render() {
  timeout 90 "$render" --endpoint "$endpoint" --seconds 30 --fps $fps --virtual-time --seed "$seed" \
    --size 320x240 --out "$work/frames" --trace "$work/trace.jsonl" \
    --contact-sheet "$work/sheet.png" >"$work/render.out" 2>&1
  exit_code_is 0
}
check "zibbles-render draws 30 s from the chain (seed $seed)" render || e2e_finish
frames_written() {
  local frames
  frames=$(find "$work/frames" -name 'frame-*.png' | wc -l)
  measured frames "$frames"
  [ "$frames" -eq 150 ]
}
check "150 frames written" frames_written

# The trace, the frames and the sheet, one PASS or FAIL line per claim. Ids fetched go to a file.
python3 - "$work" "$fps" "$seed" >"$work/checks.out" 2>&1 <<'EOF'
import json, sys, zlib
from collections import Counter

work, fps, seed = sys.argv[1], float(sys.argv[2]), sys.argv[3]
events = [json.loads(line) for line in open(f"{work}/trace.jsonl")]
def named(name): return [e for e in events if e["event"] == name]
def token(e): return int(e["token"])
def claim(ok, text): print(("PASS " if ok else "FAIL ") + text + ("" if ok else f" (seed {seed})"))

t0 = events[0]["t"]
sent, finished = named("request.sent"), named("request.finished")
first_leg = named("animation.added")[0]["t"]
leg_ends = [e for e in named("animation.ended") if e["finished"]]
stopped = min([e["t"] for e in named("animation.ended") if not e["finished"]] or [float("inf")])
figures = [e for e in named("contents.set") if e["width"] > 0]
shown = named("figure.shown")

# The view asks for five tokens as it is made; the next request waits for a leg end, which may
# come early (a start near a wall), so the five are the first five, each sent by the first leg.
at_start = [token(e) for e in sent[:5] if e["t"] <= first_leg + 0.25]
claim(len(set(at_start)) == 5, f"five distinct ids asked for at start: {at_start}")
claim(all(1 <= i <= 83300 and i not in (1961, 4800) for i in map(token, sent)),
      f"every id in 1..83300 and never 1961 or 4800: {[token(e) for e in sent]}")
bad = [e for e in finished if not (e["outcome"] == "ok" and e["status"] == 200)
       and not (e["outcome"] == "cancelled" and e["t"] >= stopped)]
claim(not bad, f"every answer ok with status 200: {bad}")

claim(bool(shown) and shown[0]["t"] - t0 <= 1.0, f"first figure.shown within 1 s: {shown[:1]}")
claim(bool(figures) and figures[0]["t"] - t0 <= 1.0, f"first contents.set within 1 s: {figures[:1]}")
unswapped = [e["t"] for e in leg_ends if not any(abs(c["t"] - e["t"]) < 0.02 for c in figures)]
claim(len(leg_ends) >= 2 and not unswapped,
      f"a new figure at each of {len(leg_ends)} leg ends (at least 2); none at {unswapped}")
ok_ids = {token(e) for e in finished if e["outcome"] == "ok"}
shown_ids = [token(e) for e in shown]
claim(all(i in ok_ids for i in shown_ids) and all(a != b for a, b in zip(shown_ids, shown_ids[1:])),
      f"each figure shown was fetched, and each differs from the one before: {shown_ids}")
# Every figure taken from the supply is replaced by exactly one fetch; a failed decode or a retry
# would add more. The top-up after the last change may be cancelled before it is sent.
changes = len(figures)
claim(3 + changes <= len(sent) <= 4 + changes,
      f"{len(sent)} fetches for {changes} figures shown: no retry, nothing lost")
with open(f"{work}/fetched-ids", "w") as out:
    out.write("".join(f"{i}\n" for i in sorted(ok_ids)))

def read_png(path):
    data = open(path, "rb").read()
    pos, idat = 8, b""
    while pos < len(data):
        length = int.from_bytes(data[pos:pos + 4], "big")
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            width, height = int.from_bytes(body[:4], "big"), int.from_bytes(body[4:8], "big")
            assert body[8:10] == b"\x08\x06" and body[12] == 0, "8-bit RGBA, not interlaced"
        elif kind == b"IDAT":
            idat += body
    raw, stride, prev, rows, i = zlib.decompress(idat), width * 4, bytearray(width * 4), [], 0
    for _ in range(height):
        kind, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - 4] if x >= 4 else 0
            b = prev[x]
            c = prev[x - 4] if x >= 4 else 0
            if kind == 1: line[x] = (line[x] + a) & 255
            elif kind == 2: line[x] = (line[x] + b) & 255
            elif kind == 3: line[x] = (line[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    pixels = [tuple(row[x:x + 4]) for row in rows for x in range(0, stride, 4)]
    return width, height, pixels

GREY = (26, 26, 26, 255)  # the compositor's bytes for white 0.1, opaque
for index in (int(2 * fps), int(15 * fps), int(30 * fps) - 1):
    width, height, pixels = read_png(f"{work}/frames/frame-{index:05d}.png")
    colours = Counter(pixels)
    figure = [(n % width, n // width) for n, p in enumerate(pixels) if p != GREY]
    xs, ys = [p[0] for p in figure], [p[1] for p in figure]
    box = (max(xs) - min(xs) + 1, max(ys) - min(ys) + 1) if figure else (0, 0)
    side = round(240 * 0.1375)  # the sprite's side in pixels at this height and scale 1
    claim((width, height) == (320, 240) and colours[GREY] >= 0.9 * len(pixels)
          and len(colours) >= 4 and 8 <= min(box) and max(box) <= side,
          f"frame {index}: a figure of {len(colours) - 1} colours in {box} px on the dark grey")

distinct = list(dict.fromkeys(shown_ids))
width, height, pixels = read_png(f"{work}/sheet.png")
columns, rows = min(len(distinct), 8), (len(distinct) + 7) // 8
cells = [[p != GREY for p in pixels[(8 + 104 * (n // 8) + 48) * width + 8 + 104 * (n % 8):][:96]]
         for n in range(len(distinct))]
claim((width, height) == (8 + 104 * columns, 8 + 104 * rows) and all(any(c) for c in cells),
      f"contact sheet {width}x{height} holds the {len(distinct)} figures shown")
EOF
while read -r verdict text; do
  if [[ $verdict == PASS ]]; then pass; else fail "$verdict $text"; fi
done <"$work/checks.out"
grep -q '^PASS\|^FAIL' "$work/checks.out" || fail "the checks did not run"

# Every answer the saver fetched decodes again in the inspector, straight from the chain.
if out="$(e2e_decodes_all "$work/fetched-ids")"; then
  pass
else
  fail "fetched ids that zibbles-inspect could not decode:"
  sed 's/^/  /' <<<"$out"
fi

e2e_finish

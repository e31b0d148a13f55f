#!/usr/bin/env python3
"""Writes the golden token: a 24x24 pixel-art figure drawn by this project, as a whole eth_call.

Outputs, beside this script:
  golden-24x24.svg       the artwork
  golden-24x24.hex       the eth_call result: 0x and the ABI encoding of the token URI
  golden-24x24.rpc.json  a JSON-RPC response body carrying it
  golden-24x24.pixels    the expected pixels, one "x y w h rr gg bb aa" line each, in order
"""
import base64, json, os

HERE = os.path.dirname(os.path.abspath(__file__))

# A small robot on a teal ground, one letter per palette entry, '.' transparent.
ROWS = [
    "........................",
    "...........rr...........",
    "...........rr...........",
    "..........kyyk..........",
    "......gggggggggggg......",
    ".....gGGGGGGGGGGGGg.....",
    ".....gGwwGGGGGGwwGg.....",
    ".....gGwkGGGGGGwkGg.....",
    ".....gGGGGGGGGGGGGg.....",
    ".....gGGGmmmmmmGGGg.....",
    ".....gGGGGGGGGGGGGg.....",
    "......gggggggggggg......",
    "........ssssssss........",
    "....bbbbbbbbbbbbbbbb....",
    "...bBBBBBBBBBBBBBBBBb...",
    "...bBBByyBBBBBBooBBBb...",
    "...bBBByyBBBBBBooBBBb...",
    "...bBBBBBBBBBBBBBBBBb...",
    "...bbbbbbbbbbbbbbbbbb...",
    "......ss........ss......",
    "......ss........ss......",
    ".....kkkk......kkkk.....",
    ".....kkkk......kkkk.....",
    "........................",
]
PALETTE = {
    "r": "#e23b3b", "k": "#1b1b24", "y": "#f5d142", "g": "#5a6270", "G": "#9aa4b5",
    "w": "#FFF", "m": "#3a3f4a", "s": "#6d7687", "b": "#2e5e9e", "B": "#4f86d1",
    "o": "#ff8c0080",
}
BACKGROUND = "#1f7a74"
UNIT = 10  # user units per figure pixel, as on a 240 by 240 canvas


def expand(color):
    digits = color[1:]
    if len(digits) == 3:
        digits = "".join(c * 2 for c in digits)
    if len(digits) == 6:
        digits += "ff"
    return [digits[i:i + 2].lower() for i in range(0, 8, 2)]


def runs():
    """Horizontal runs of one colour, as (x, y, length, letter), top to bottom, left to right."""
    for y, row in enumerate(ROWS):
        x = 0
        while x < len(row):
            letter = row[x]
            end = x
            while end < len(row) and row[end] == letter:
                end += 1
            if letter != ".":
                yield x, y, end - x, letter
            x = end


def svg_and_pixels():
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 240 240" '
             'shape-rendering="crispEdges">',
             f'<rect x="0" y="0" width="240" height="240" fill="{BACKGROUND}"/>']
    pixels = []
    for x, y, length, letter in runs():
        color = PALETTE[letter]
        parts.append(f'<rect x="{x * UNIT}" y="{y * UNIT}" width="{length * UNIT}" '
                     f'height="{UNIT}" fill="{color}"/>')
        pixels.append([x * UNIT, y * UNIT, length * UNIT, UNIT] + expand(color))
    parts.append("</svg>")
    return "".join(parts), pixels


def abi_string(text):
    data = text.encode()
    padded = data + b"\0" * (-len(data) % 32)
    return (32).to_bytes(32, "big") + len(data).to_bytes(32, "big") + padded


def main():
    svg, pixels = svg_and_pixels()
    image = "data:image/svg+xml;base64," + base64.b64encode(svg.encode()).decode()
    metadata = {"name": "Zibble #4242", "description": "A robot on a teal ground.",
                "image": image, "attributes": [{"trait_type": "Body", "value": "Blue"}]}
    uri = "data:application/json;base64," + base64.b64encode(
        json.dumps(metadata, separators=(",", ":")).encode()).decode()
    hexresult = "0x" + abi_string(uri).hex()
    rpc = {"jsonrpc": "2.0", "id": 1, "result": hexresult}
    with open(os.path.join(HERE, "golden-24x24.svg"), "w") as f:
        f.write(svg)
    with open(os.path.join(HERE, "golden-24x24.hex"), "w") as f:
        f.write(hexresult + "\n")
    with open(os.path.join(HERE, "golden-24x24.rpc.json"), "w") as f:
        f.write(json.dumps(rpc) + "\n")
    with open(os.path.join(HERE, "golden-24x24.pixels"), "w") as f:
        f.writelines(" ".join(str(v) for v in p) + "\n" for p in pixels)


if __name__ == "__main__":
    main()

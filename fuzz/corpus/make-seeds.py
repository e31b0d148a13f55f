#!/usr/bin/env python3
"""Writes the seed corpus of each fuzz target into corpus/<target>/seed-*. Inputs that the
fuzzer found and that once failed are kept beside them as regress-*; this script leaves those."""
import base64, json, os, struct

HERE = os.path.dirname(os.path.abspath(__file__))
GOLDEN = os.path.join(HERE, "..", "..", "tests", "data", "decode")


def golden(name):
    with open(os.path.join(GOLDEN, name), "rb") as f:
        return f.read().strip()


def abi(data):
    return (32).to_bytes(32, "big") + len(data).to_bytes(32, "big") + data + b"\0" * (-len(data) % 32)


def hexresult(data, prefix=True):
    return (b"0x" if prefix else b"") + abi(data).hex().encode()


def uri_of_json(text):
    return b"data:application/json;base64," + base64.b64encode(text)


def uri_of_svg(svg):
    image = "data:image/svg+xml;base64," + base64.b64encode(svg).decode()
    return uri_of_json(json.dumps({"name": "seed", "image": image}).encode())


SVGS = [
    b"<svg><rect x='1' y='2' width='3' height='4' fill='#f0a'/></svg>",
    b'<rect fill="#1a2b3c"/><rect width="30" height="30" fill="#000"/>',
    b"<rect rx='2' x='5' stroke-width='3' width='9' fill='none' fill='#ff000080'/>",
    b"<rect x='1.2.3' y='.5' width='007' height='5.' fill='#abcd'/><rectangle fill='#FFF'>",
    b"<rect title='a>b' x=\"7' fill='#00000000\"/>\n<!-- <rect fill='#123'/> -->",
]

def raster(sprite, scale, mode, content, pixels):
    """Sprite size, scale, mode byte, content rectangle, then x, y, w, h and RGBA bytes per pixel."""
    out = struct.pack("<ddB4d", sprite, scale, mode, *content)
    for x, y, w, h, rgba in pixels:
        out += struct.pack("<4d4B", x, y, w, h, *rgba)
    return out


RED, GLASS = (255, 0, 0, 255), (0, 0, 255, 128)
INF, NAN = float("inf"), float("nan")

SEEDS = {
    "FuzzAbiString": [hexresult(b"abc"), hexresult(b"abc", False), hexresult(b""),
                      hexresult(b"\xff"), b"0x" + b"0" * 127, b"0x" + b"+7-0" * 32,
                      b"0x" + (2**63).to_bytes(32, "big").hex().encode() + b"00" * 32,
                      golden("golden-24x24.hex")],
    "FuzzTokenUri": [uri_of_svg(s) for s in SVGS[:2]] + [
        uri_of_json(b'{"image":"<svg/>"}'), uri_of_json(b'[{"image":1}]'),
        uri_of_json(b'{"image":"data:image\\/svg+xml;base64,PHN2Zz4="}'),
        b"data:application/json;base64,eyJpbW\nFnZSI6Ijxzdmc+In0=",
        b"data:application/json;utf8,{\"image\":\"<svg>\"}"],
    "FuzzSvgRects": SVGS + [golden("golden-24x24.svg")],
    "FuzzBase64": [b"", b"QQ==", b"QUI=", b"QUJD", b"Q===", b"QQ==QQ==", b"-_8=", b"QU\nJD"],
    "FuzzUtf8": [b"plain", "\u00e9t\u00e9 \u20ac \U0001f600".encode(), b"\xff", b"\xc0\xaf",
                 b"\xed\xa0\x80", b"\xf4\x90\x80\x80", b"a\xe2\x82"],
    "FuzzTokenChain": [golden("golden-24x24.rpc.json"),
                       json.dumps({"jsonrpc": "2.0", "id": 1,
                                   "result": hexresult(uri_of_svg(SVGS[0])).decode()}).encode(),
                       b'{"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"execution reverted"}}',
                       b'{"result":12}', b'[]', b'{"result":"0x"}'],
    "FuzzSpriteRaster": [
        raster(150, 2, 1, (0, 0, 0, 0), [(2, 3, 1, 1, RED), (31, 22, 1, 1, GLASS)]),
        raster(148.5, 2, 1, (0, 0, 0, 0), [(0, 0, 1, 1, RED), (1, 0, 1, 1, RED), (23, 23, 1, 1, RED)]),
        raster(100, 1, 0, (0, 0, 1, 1), [(0, 0, 1e300, 1e300, GLASS), (-1e300, 5, 1, -1e300, RED)]),
        raster(64, 1, 1, (0, 0, 0, 0), [(0, 0, 1, 1, RED), (INF, NAN, 1, 1, RED), (0, 0, NAN, 2, GLASS)]),
        raster(0.5, 0.5, 1, (0, 0, 0, 0), [(0, 0, 1, 1, RED)]),
        raster(1e300, 1e300, 1, (0, 0, 0, 0), [(0, 0, 1, 1, RED)]),
    ],
}


def main():
    for target, seeds in SEEDS.items():
        folder = os.path.join(HERE, target)
        os.makedirs(folder, exist_ok=True)
        for i, seed in enumerate(seeds):
            with open(os.path.join(folder, f"seed-{i:02d}"), "wb") as f:
                f.write(seed)


if __name__ == "__main__":
    main()

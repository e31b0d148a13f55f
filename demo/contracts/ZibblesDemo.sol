// SPDX-License-Identifier: MIT
pragma solidity ^0.8.24;

/// @title Zibbles demo collection
/// @notice 83300 pixel-art creatures, each drawn on chain from its token id alone. Nothing is
/// stored: tokenURI paints a mirrored 24 x 24 figure, turns every horizontal run of one colour
/// into an SVG rect, and wraps the SVG and the metadata in Base64 data URIs.
/// @dev Meant for eth_call. Buffers are sized up front and written by index, and Base64 is encoded
/// in one pass straight into the buffer that carries it, so the cost grows linearly with the art.
contract ZibblesDemo {
    uint256 public constant MAX_TOKEN_ID = 83300;
    uint256 private constant SIDE = 24;
    uint256 private constant HALF = 12;

    // Palette slots of a figure. Slot 0 is empty canvas.
    uint8 private constant EMPTY = 0;
    uint8 private constant OUTLINE = 1;
    uint8 private constant BODY = 2;
    uint8 private constant SHADE = 3;
    uint8 private constant LIGHT = 4;
    uint8 private constant WHITE = 5;
    uint8 private constant DARK = 6;
    uint8 private constant ACCENT = 7;
    uint8 private constant BLUSH = 8;
    uint8 private constant LEAF = 9;

    /// Everything the artwork and the metadata are made of, drawn once from the token id.
    struct Traits {
        uint256 body; // Round, Egg, Ghost, Block, Squat
        uint256 palette;
        uint256 accent;
        uint256 eyes;
        uint256 mouth;
        uint256 headgear;
        uint256 extra;
        uint256 backdrop;
        uint256 halfWidth; // widest half-width of the body, in cells
        uint256 top; // first row of the body
        uint256 bottom; // last row of the body
        bool feet;
        bool arms;
    }

    function name() external pure returns (string memory) {
        return "Zibbles Demo";
    }

    function symbol() external pure returns (string memory) {
        return "ZIBD";
    }

    function totalSupply() external pure returns (uint256) {
        return MAX_TOKEN_ID;
    }

    function tokenURI(uint256 tokenId) external pure returns (string memory) {
        // A reason string rather than a custom error: nodes show it as text in their error answer.
        require(tokenId != 0 && tokenId <= MAX_TOKEN_ID, "ZibblesDemo: no token with this id");
        Traits memory t = _traits(tokenId);
        bytes memory svg = _svg(_paint(t), _colors(t));
        bytes memory json = _json(tokenId, t, svg);
        bytes memory prefix = "data:application/json;base64,";
        bytes memory uri = new bytes(prefix.length + _base64Length(json.length));
        uint256 pos = _put(uri, 0, prefix);
        _base64Into(json, uri, pos);
        return string(uri);
    }

    // ---------------------------------------------------------------------------------------------
    // Traits

    function _traits(uint256 tokenId) private pure returns (Traits memory t) {
        uint256 r = uint256(keccak256(abi.encodePacked("zibbles-demo", tokenId)));
        t.body = r % 5;
        r /= 5;
        t.palette = r % 16;
        r /= 16;
        t.accent = (t.palette + 4 + r % 9) % 16; // never the body's own colour
        r /= 9;
        t.eyes = r % 7;
        r /= 7;
        t.mouth = r % 6;
        r /= 6;
        t.headgear = r % 7;
        r /= 7;
        t.extra = r % 5;
        r /= 5;
        t.backdrop = r % 8;
        r /= 8;
        uint256 shapeRoll = r % 81;
        r /= 81;
        t.feet = t.body != 2 && r % 3 != 0;
        r /= 3;
        t.arms = r % 2 == 0;
        _shape(t, shapeRoll);
        // A visor sits on a robot face; an eye patch of it on others still reads well, but a
        // visor with a cyclops eye would hide it, so those never meet: eyes fall back to "Wide".
        if (t.body == 3 && t.eyes == 3) t.eyes = 5;
    }

    /// Body proportions, in cells, from a roll of 0..80 (three base-3 digits and change).
    function _shape(Traits memory t, uint256 roll) private pure {
        uint256 a = roll % 3;
        uint256 b = (roll / 3) % 3;
        uint256 c = (roll / 9) % 3;
        if (t.body == 0) {
            (t.halfWidth, t.top, t.bottom) = (7 + a, 7 + b, 19 + (c % 2));
        } else if (t.body == 1) {
            (t.halfWidth, t.top, t.bottom) = (7 + a, 5 + b, 20);
        } else if (t.body == 2) {
            (t.halfWidth, t.top, t.bottom) = (6 + a, 5 + b, 20 + (c % 2));
        } else if (t.body == 3) {
            (t.halfWidth, t.top, t.bottom) = (6 + a, 7 + b, 19 + (c % 2));
        } else {
            (t.halfWidth, t.top, t.bottom) = (9 + (a % 2), 9 + b, 19 + (c % 2));
        }
        if (t.headgear == 1 && t.top < 7) t.top = 7; // room for the antennae above
    }

    // ---------------------------------------------------------------------------------------------
    // Painting on the half grid: 24 rows of 12 cells, d = distance from the centre line (0..11).
    // The right half of the figure is the mirror image of the left.

    function _paint(Traits memory t) private pure returns (bytes memory g) {
        g = new bytes(SIDE * HALF);
        _paintBody(g, t);
        _paintLimbs(g, t);
        _paintHeadgear(g, t);
        _paintOutline(g);
        if (t.headgear == 1) _paintAntennaStalks(g, t);
        _paintShading(g);
        if (t.headgear == 6) _paintBeanie(g, t);
        _paintExtra(g, t);
        _paintEyes(g, t);
        _paintMouth(g, t);
    }

    function _get(bytes memory g, uint256 d, uint256 y) private pure returns (uint8) {
        if (d >= HALF || y >= SIDE) return EMPTY;
        return uint8(g[y * HALF + d]);
    }

    function _set(bytes memory g, uint256 d, uint256 y, uint8 v) private pure {
        if (d < HALF && y < SIDE) g[y * HALF + d] = bytes1(v);
    }

    /// Fills cells d0..d1 of row y (both included).
    function _span(bytes memory g, uint256 d0, uint256 d1, uint256 y, uint8 v) private pure {
        for (uint256 d = d0; d <= d1; ++d) _set(g, d, y, v);
    }

    /// Recolours only the cells of rows y0..y1, columns d0..d1 that already hold `from`.
    function _tint(bytes memory g, uint256 d0, uint256 d1, uint256 y0, uint256 y1, uint8 from, uint8 to)
        private
        pure
    {
        for (uint256 y = y0; y <= y1; ++y) {
            for (uint256 d = d0; d <= d1; ++d) {
                if (_get(g, d, y) == from) _set(g, d, y, to);
            }
        }
    }

    function _isSolid(uint8 v) private pure returns (bool) {
        return v >= BODY;
    }

    /// Number of body cells in row y, counted outwards from the centre line.
    function _halfWidthAt(bytes memory g, uint256 y) private pure returns (uint256 w) {
        while (w < HALF && _isSolid(_get(g, w, y))) ++w;
    }

    /// First row of column d that holds a solid cell, or SIDE if none does.
    function _topAt(bytes memory g, uint256 d) private pure returns (uint256 y) {
        while (y < SIDE && !_isSolid(_get(g, d, y))) ++y;
    }

    function _paintBody(bytes memory g, Traits memory t) private pure {
        for (uint256 y = t.top; y <= t.bottom; ++y) {
            for (uint256 d = 0; d < HALF - 1; ++d) {
                if (_inBody(t, d, y)) _set(g, d, y, BODY);
            }
        }
    }

    /// Whether cell (d, y) lies inside the body outline. Works on doubled coordinates so that
    /// cell centres are whole numbers: cx = 2d + 1 from the centre line, cy from the body's middle.
    function _inBody(Traits memory t, uint256 d, uint256 y) private pure returns (bool) {
        uint256 cx = 2 * d + 1;
        uint256 mid = t.top + t.bottom + 1;
        uint256 cy = 2 * y + 1 > mid ? 2 * y + 1 - mid : mid - 2 * y - 1;
        uint256 rx = 2 * t.halfWidth;
        uint256 ry = t.bottom - t.top + 1;
        if (t.body == 0 || t.body == 4) {
            return cx * cx * ry * ry + cy * cy * rx * rx <= rx * rx * ry * ry;
        }
        if (t.body == 1) {
            // Egg: the horizontal radius grows from 60 % at the top row to 100 % at the bottom.
            uint256 den = 100 * (t.bottom - t.top);
            uint256 num = 60 * (t.bottom - t.top) + 40 * (y - t.top);
            return cx * cx * ry * ry * den * den + cy * cy * rx * rx * num * num <= rx * rx * num * num * ry * ry;
        }
        if (t.body == 2) return _inGhost(t, d, y, cx, rx);
        // Block: a superellipse of degree four, a square with softened corners.
        uint256 a = cx * cx * ry * ry;
        uint256 b = cy * cy * rx * rx;
        uint256 c = rx * rx * ry * ry;
        return a * a + b * b <= c * c;
    }

    /// Ghost: a round dome on straight sides, with a scalloped hem on the last row.
    function _inGhost(Traits memory t, uint256 d, uint256 y, uint256 cx, uint256 rx) private pure returns (bool) {
        uint256 domeEnd = t.top + t.halfWidth;
        if (d >= t.halfWidth) return false;
        if (y < domeEnd) {
            uint256 cy = 2 * domeEnd - (2 * y + 1);
            return cx * cx + cy * cy <= rx * rx;
        }
        if (y == t.bottom) return (d + t.halfWidth) % 3 != 0;
        return true;
    }

    function _paintLimbs(bytes memory g, Traits memory t) private pure {
        if (t.feet) {
            uint256 d0 = t.halfWidth / 2 - 1;
            _span(g, d0, d0 + 2, t.bottom, BODY);
            _span(g, d0, d0 + 2, t.bottom + 1, BODY);
            _set(g, d0 + 3, t.bottom, BODY);
        }
        if (t.arms) {
            uint256 y = t.top + ((t.bottom - t.top) * 6) / 10;
            uint256 w = _halfWidthAt(g, y);
            uint256 reach = w + 1 < HALF - 1 ? w + 1 : HALF - 2;
            _span(g, w, reach, y, BODY);
            _span(g, w, reach, y + 1, BODY);
            _set(g, reach, y - 1, BODY);
        }
    }

    function _paintHeadgear(bytes memory g, Traits memory t) private pure {
        uint256 h = t.headgear;
        uint256 top = _topAt(g, 0);
        if (h == 1) {
            // Antennae: a ball well above the head; the stalk is drawn after the outline.
            uint256 d = 2 + (t.halfWidth > 7 ? 1 : 0);
            _span(g, d, d + 1, top - 5, ACCENT);
            _span(g, d, d + 1, top - 4, ACCENT);
        } else if (h == 2) {
            // Horns that curl outwards.
            uint256 d = t.halfWidth / 2;
            uint256 base = _topAt(g, d);
            _span(g, d, d + 1, base - 1, ACCENT);
            _span(g, d + 1, d + 2, base - 2, ACCENT);
            _set(g, d + 2, base - 3, ACCENT);
        } else if (h == 3) {
            // Pointed ears, furred like the body, with a blush inside.
            uint256 d = t.halfWidth / 2;
            uint256 base = _topAt(g, d + 1);
            _span(g, d, d + 3, base - 1, BODY);
            _span(g, d + 1, d + 3, base - 2, BODY);
            _span(g, d + 2, d + 3, base - 3, BODY);
            _set(g, d + 2, base - 1, BLUSH);
            _set(g, d + 2, base - 2, BLUSH);
        } else if (h == 4) {
            // Crown with three points and a gem.
            _span(g, 0, 3, top - 1, ACCENT);
            _span(g, 0, 3, top - 2, ACCENT);
            _set(g, 0, top - 3, ACCENT);
            _set(g, 3, top - 3, ACCENT);
            _set(g, 0, top - 4, ACCENT);
            _set(g, 0, top - 2, BLUSH);
        } else if (h == 5) {
            // Sprout: two leaves on a short stem.
            _set(g, 0, top - 1, ACCENT);
            _set(g, 0, top - 2, ACCENT);
            _set(g, 0, top - 3, ACCENT);
            _span(g, 1, 2, top - 3, LEAF);
            _span(g, 2, 3, top - 4, LEAF);
            _set(g, 1, top - 4, LEAF);
        } else if (h == 6) {
            _set(g, 0, top - 1, ACCENT); // pompom of the beanie, painted over the head later
            _set(g, 0, top - 2, ACCENT);
        }
    }

    /// Rings every solid shape with one cell of outline colour.
    function _paintOutline(bytes memory g) private pure {
        for (uint256 y = 0; y < SIDE; ++y) {
            for (uint256 d = 0; d < HALF; ++d) {
                if (_get(g, d, y) != EMPTY) continue;
                bool near = _isSolid(_get(g, d + 1, y)) || (y > 0 && _isSolid(_get(g, d, y - 1)))
                    || _isSolid(_get(g, d, y + 1)) || (d > 0 && _isSolid(_get(g, d - 1, y)));
                if (near) _set(g, d, y, OUTLINE);
            }
        }
    }

    function _paintAntennaStalks(bytes memory g, Traits memory t) private pure {
        uint256 d = 2 + (t.halfWidth > 7 ? 1 : 0);
        uint256 ball = _topAt(g, d);
        uint256 head = _topAt(g, 0);
        for (uint256 y = ball + 2; y < head; ++y) {
            if (_get(g, d, y) == EMPTY || _get(g, d, y) == OUTLINE) _set(g, d, y, OUTLINE);
        }
    }

    /// Body cells above an edge catch the light; cells above the ground or an outer edge in the
    /// lower half sit in shadow.
    function _paintShading(bytes memory g) private pure {
        for (uint256 y = 1; y < SIDE - 1; ++y) {
            for (uint256 d = 0; d < HALF - 1; ++d) {
                if (_get(g, d, y) != BODY) continue;
                uint8 above = _get(g, d, y - 1);
                uint8 below = _get(g, d, y + 1);
                uint8 outer = _get(g, d + 1, y);
                if (below == OUTLINE || below == EMPTY || (outer == OUTLINE && y > 12)) {
                    _set(g, d, y, SHADE);
                } else if (above == OUTLINE && d > 0) {
                    _set(g, d, y, LIGHT);
                }
            }
        }
    }

    function _paintBeanie(bytes memory g, Traits memory t) private pure {
        uint256 top = t.top;
        for (uint256 y = top; y < top + 3; ++y) {
            for (uint256 d = 0; d < HALF; ++d) {
                uint8 v = _get(g, d, y);
                if (v == BODY || v == LIGHT || v == SHADE) _set(g, d, y, y == top + 2 ? WHITE : ACCENT);
            }
        }
        t.top = top + 1; // the face moves down under the brim
    }

    function _paintExtra(bytes memory g, Traits memory t) private pure {
        uint256 e = t.extra;
        uint256 span = t.bottom - t.top;
        if (e == 1) {
            // Belly: a light oval low on the body.
            uint256 y0 = t.top + (span * 6) / 10;
            for (uint256 y = y0; y + 1 < t.bottom; ++y) {
                uint256 w = _halfWidthAt(g, y);
                uint256 reach = w > 4 ? (w * 55) / 100 : 1;
                if (y == y0 || y + 2 == t.bottom) reach = reach > 1 ? reach - 1 : 0;
                _tint(g, 0, reach, y, y, BODY, LIGHT);
            }
        } else if (e == 2) {
            // Spots: light freckles on the flanks.
            uint256 y = t.top + (span * 7) / 10;
            uint256 w = _halfWidthAt(g, y);
            if (w > 3) {
                _tint(g, w - 3, w - 2, y, y, BODY, LIGHT);
                _tint(g, w - 2, w - 2, y - 3, y - 3, BODY, LIGHT);
                _tint(g, 1, 1, y + 2, y + 2, BODY, LIGHT);
            }
        } else if (e == 3) {
            // Stripes across the lower body.
            uint256 y0 = t.top + (span * 6) / 10;
            for (uint256 y = y0; y < t.bottom; y += 2) _tint(g, 0, HALF - 1, y, y, BODY, SHADE);
        }
    }

    function _eyeRow(Traits memory t) private pure returns (uint256) {
        uint256 span = t.bottom - t.top;
        return t.top + (span * (t.body == 1 ? 4 : 3)) / 10 + 1;
    }

    function _paintEyes(bytes memory g, Traits memory t) private pure {
        uint256 y = _eyeRow(t);
        uint256 w = _halfWidthAt(g, y);
        uint256 d = w > 7 ? 3 : 2; // inner edge of each eye
        uint256 e = t.eyes;
        if (e == 0) {
            _span(g, d, d, y, DARK);
            _span(g, d, d, y + 1, DARK);
        } else if (e == 1) {
            _span(g, d, d + 1, y, WHITE);
            _span(g, d, d + 1, y + 1, WHITE);
            _set(g, d, y + 1, DARK);
        } else if (e == 2) {
            _span(g, d, d + 2, y - 1, WHITE);
            _span(g, d, d + 2, y, WHITE);
            _span(g, d, d + 2, y + 1, WHITE);
            _span(g, d, d + 1, y, DARK);
            _span(g, d, d + 1, y + 1, DARK);
            _set(g, d, y, WHITE);
        } else if (e == 3) {
            // Cyclops: one big eye on the centre line.
            _span(g, 0, 1, y - 1, WHITE);
            _span(g, 0, 2, y, WHITE);
            _span(g, 0, 2, y + 1, WHITE);
            _span(g, 0, 1, y + 2, WHITE);
            _span(g, 0, 0, y, DARK);
            _span(g, 0, 0, y + 1, DARK);
        } else if (e == 4) {
            // Sleepy: closed lids.
            _span(g, d, d + 1, y + 1, DARK);
            _set(g, d + 2, y, DARK);
        } else if (e == 5) {
            // Visor: a dark band across the face with a glint.
            uint256 reach = w > 2 ? w - 2 : 0;
            _span(g, 0, reach, y, DARK);
            _span(g, 0, reach, y + 1, DARK);
            _span(g, d, d + 1, y, ACCENT);
        } else {
            // Angry: white eyes under slanted brows.
            _span(g, d, d + 1, y, WHITE);
            _span(g, d, d + 1, y + 1, WHITE);
            _set(g, d, y + 1, DARK);
            _set(g, d, y - 1, DARK);
            _set(g, d + 1, y - 2, DARK);
        }
    }

    function _paintMouth(bytes memory g, Traits memory t) private pure {
        uint256 y = _eyeRow(t) + 3;
        uint256 m = t.mouth;
        if (m == 0) {
            _span(g, 0, 1, y + 1, DARK); // smile
            _set(g, 2, y, DARK);
        } else if (m == 1) {
            _span(g, 0, 1, y, DARK); // open, tongue showing
            _span(g, 0, 1, y + 1, DARK);
            _set(g, 0, y + 1, BLUSH);
        } else if (m == 2) {
            _span(g, 0, 2, y, DARK); // fangs
            _set(g, 1, y + 1, WHITE);
        } else if (m == 3) {
            _span(g, 0, 2, y, WHITE); // toothy grin
            _span(g, 0, 2, y + 1, DARK);
            _set(g, 3, y, DARK);
        } else if (m == 4) {
            _set(g, 0, y, DARK); // small and surprised
        } else {
            _span(g, 0, 1, y, ACCENT); // beak
            _set(g, 0, y + 1, ACCENT);
        }
        if (t.extra == 4) {
            uint256 w = _halfWidthAt(g, y - 1);
            if (w > 3) _tint(g, w - 3, w - 2, y - 1, y - 1, BODY, BLUSH); // cheeks
        }
    }

    // ---------------------------------------------------------------------------------------------
    // Colours

    /// Body colour, its shadow and its highlight, packed as three 0xrrggbb words.
    function _bodyColors(uint256 p) private pure returns (uint24 main, uint24 shade, uint24 light) {
        uint72[16] memory table = [
            uint72(0x6ee7b7_2fae86_c6f7e2), // Mint
            0xff7b72_cf4a52_ffc7bf, // Coral
            0x6cb6ff_3a7bd5_c8e5ff, // Sky
            0xffd93d_d9a300_fff2a8, // Lemon
            0xb48cff_7a4fd1_e2d4ff, // Grape
            0xff9f43_d2690f_ffd3a8, // Tangerine
            0xff8fd8_cf58ae_ffd3f1, // Bubblegum
            0xa3e635_68a316_ddf7a8, // Lime
            0x2dd4bf_0f9488_a7f3e7, // Teal
            0x9fb0c8_66768f_dde5ef, // Slate
            0xf05252_b21e2e_ffaaaa, // Cherry
            0xe8c9a0_b58f5c_f7e9d4, // Sand
            0x4fbf6a_23803c_b5ecc2, // Forest
            0xd9ecff_93b7e0_ffffff, // Frost
            0xc0569e_862d6c_eaa6d6, // Plum
            0xd9713c_9c4520_f2b48e // Rust
        ];
        uint72 v = table[p];
        return (uint24(v >> 48), uint24(v >> 24), uint24(v));
    }

    function _backdrop(uint256 b) private pure returns (uint24) {
        uint24[8] memory table =
            [uint24(0xf4ecd8), 0xdde8e4, 0xe6e0f0, 0xf3dede, 0xdfe6ee, 0x2b2d42, 0x233329, 0x362b3a];
        return table[b];
    }

    /// 0xrrggbb for every palette slot.
    function _colors(Traits memory t) private pure returns (uint24[10] memory c) {
        (uint24 main, uint24 shade, uint24 light) = _bodyColors(t.palette);
        (uint24 accent,,) = _bodyColors(t.accent);
        c[EMPTY] = _backdrop(t.backdrop);
        c[OUTLINE] = _darken(shade);
        c[BODY] = main;
        c[SHADE] = shade;
        c[LIGHT] = light;
        c[WHITE] = 0xfffbf0;
        c[DARK] = 0x1c1626;
        c[ACCENT] = t.headgear == 4 || t.mouth == 5 && t.headgear == 0 ? 0xffc83d : accent;
        c[BLUSH] = 0xff6f91;
        c[LEAF] = 0x5ccf5a;
        if (t.headgear == 5) c[ACCENT] = 0x3f9a41; // the sprout's stem
    }

    /// A deep tone of the same hue for outlines: a quarter of each channel.
    function _darken(uint24 c) private pure returns (uint24) {
        uint256 r = (uint256(c) >> 16) & 0xff;
        uint256 g = (uint256(c) >> 8) & 0xff;
        uint256 b = uint256(c) & 0xff;
        return uint24(((r / 4 + 8) << 16) | ((g / 4 + 8) << 8) | (b / 4 + 12));
    }

    // ---------------------------------------------------------------------------------------------
    // SVG

    bytes private constant SVG_HEAD = '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 240 240" '
        'shape-rendering="crispEdges"><rect x="0" y="0" width="240" height="240" fill="#';
    // Longest rect: <rect x="230" y="230" width="240" height="10" fill="#rrggbb"/>
    uint256 private constant RECT_MAX = 64;

    function _svg(bytes memory g, uint24[10] memory colors) private pure returns (bytes memory svg) {
        // Sized for the worst case, one rect per cell: cheaper than counting the runs first.
        svg = new bytes(SVG_HEAD.length + 9 + SIDE * SIDE * RECT_MAX + 6);
        uint256 pos = _put(svg, 0, SVG_HEAD);
        pos = _putHex6(svg, pos, colors[EMPTY]);
        pos = _put(svg, pos, '"/>');
        for (uint256 y = 0; y < SIDE; ++y) {
            uint256 start = 0;
            uint256 run = _paintAt(g, colors, 0, y);
            for (uint256 x = 1; x <= SIDE; ++x) {
                uint256 paint = x < SIDE ? _paintAt(g, colors, x, y) : NO_PAINT;
                if (paint == run) continue;
                if (run != NO_PAINT) pos = _putRect(svg, pos, start, y, x - start, uint24(run));
                (start, run) = (x, paint);
            }
        }
        pos = _put(svg, pos, "</svg>");
        assembly {
            mstore(svg, pos) // trim to what was written
        }
    }

    uint256 private constant NO_PAINT = 0;

    /// Colour of full-grid cell (x, y) with bit 24 set, or NO_PAINT for empty canvas. The right
    /// half of a row mirrors the left.
    function _paintAt(bytes memory g, uint24[10] memory colors, uint256 x, uint256 y)
        private
        pure
        returns (uint256)
    {
        uint8 slot = uint8(g[y * HALF + (x < HALF ? HALF - 1 - x : x - HALF)]);
        return slot == EMPTY ? NO_PAINT : (1 << 24) | colors[slot];
    }

    function _putRect(bytes memory svg, uint256 pos, uint256 x, uint256 y, uint256 w, uint24 color)
        private
        pure
        returns (uint256)
    {
        pos = _put(svg, pos, '<rect x="');
        pos = _putUint(svg, pos, x * 10);
        pos = _put(svg, pos, '" y="');
        pos = _putUint(svg, pos, y * 10);
        pos = _put(svg, pos, '" width="');
        pos = _putUint(svg, pos, w * 10);
        pos = _put(svg, pos, '" height="10" fill="#');
        pos = _putHex6(svg, pos, color);
        return _put(svg, pos, '"/>');
    }

    // ---------------------------------------------------------------------------------------------
    // Metadata

    function _json(uint256 tokenId, Traits memory t, bytes memory svg) private pure returns (bytes memory json) {
        bytes memory head = abi.encodePacked(
            '{"name":"Zibble #',
            _decimal(tokenId),
            '","description":"A Zibble: a pixel-art creature drawn on chain from its token id alone.",',
            '"attributes":[',
            _attribute("Body", _bodyName(t.body)),
            ",",
            _attribute("Colour", _paletteName(t.palette)),
            ",",
            _attribute("Eyes", _eyesName(t.eyes)),
            ",",
            _attribute("Mouth", _mouthName(t.mouth)),
            ",",
            _attribute("Headgear", _headgearName(t.headgear)),
            ",",
            _attribute("Extra", _extraName(t.extra)),
            '],"image":"data:image/svg+xml;base64,'
        );
        json = new bytes(head.length + _base64Length(svg.length) + 2);
        uint256 pos = _put(json, 0, head);
        pos = _base64Into(svg, json, pos);
        _put(json, pos, '"}');
    }

    function _attribute(string memory kind, string memory value) private pure returns (bytes memory) {
        return abi.encodePacked('{"trait_type":"', kind, '","value":"', value, '"}');
    }

    function _bodyName(uint256 i) private pure returns (string memory) {
        return _pick(i, ["Round", "Egg", "Ghost", "Block", "Squat", "", "", ""]);
    }

    function _eyesName(uint256 i) private pure returns (string memory) {
        return _pick(i, ["Dots", "Wide", "Big", "Cyclops", "Sleepy", "Visor", "Angry", ""]);
    }

    function _mouthName(uint256 i) private pure returns (string memory) {
        return _pick(i, ["Smile", "Open", "Fangs", "Grin", "Tiny", "Beak", "", ""]);
    }

    function _headgearName(uint256 i) private pure returns (string memory) {
        return _pick(i, ["None", "Antennae", "Horns", "Ears", "Crown", "Sprout", "Beanie", ""]);
    }

    function _extraName(uint256 i) private pure returns (string memory) {
        return _pick(i, ["None", "Belly", "Spots", "Stripes", "Cheeks", "", "", ""]);
    }

    function _paletteName(uint256 i) private pure returns (string memory) {
        string[16] memory names = [
            "Mint",
            "Coral",
            "Sky",
            "Lemon",
            "Grape",
            "Tangerine",
            "Bubblegum",
            "Lime",
            "Teal",
            "Slate",
            "Cherry",
            "Sand",
            "Forest",
            "Frost",
            "Plum",
            "Rust"
        ];
        return names[i];
    }

    function _pick(uint256 i, string[8] memory names) private pure returns (string memory) {
        return names[i];
    }

    // ---------------------------------------------------------------------------------------------
    // Writing into preallocated buffers. Each helper writes at `pos` and returns the next offset;
    // callers size the buffers so that no write runs past the end.

    function _put(bytes memory buf, uint256 pos, bytes memory s) private pure returns (uint256) {
        uint256 n = s.length;
        require(pos + n <= buf.length);
        assembly {
            mcopy(add(add(buf, 32), pos), add(s, 32), n)
        }
        return pos + n;
    }

    /// Decimal digits of v, written in place.
    function _putUint(bytes memory buf, uint256 pos, uint256 v) private pure returns (uint256) {
        uint256 digits = 1;
        for (uint256 p = v; p >= 10; p /= 10) ++digits;
        for (uint256 i = pos + digits; i > pos; --i) {
            buf[i - 1] = bytes1(uint8(48 + (v % 10)));
            v /= 10;
        }
        return pos + digits;
    }

    function _decimal(uint256 v) private pure returns (bytes memory s) {
        uint256 digits = 1;
        for (uint256 p = v; p >= 10; p /= 10) ++digits;
        s = new bytes(digits);
        for (uint256 i = digits; i > 0; --i) {
            s[i - 1] = bytes1(uint8(48 + (v % 10)));
            v /= 10;
        }
    }

    function _putHex6(bytes memory buf, uint256 pos, uint24 c) private pure returns (uint256) {
        bytes16 digits = "0123456789abcdef";
        for (uint256 i = 0; i < 6; ++i) {
            buf[pos + i] = digits[(uint256(c) >> (20 - 4 * i)) & 0xf];
        }
        return pos + 6;
    }

    function _base64Length(uint256 n) private pure returns (uint256) {
        return 4 * ((n + 2) / 3);
    }

    /// Standard Base64 with "=" padding, written into dst at `pos` in one pass.
    function _base64Into(bytes memory src, bytes memory dst, uint256 pos) private pure returns (uint256) {
        uint256 n = src.length;
        uint256 outLen = _base64Length(n);
        require(pos + outLen <= dst.length);
        bytes memory table = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        assembly {
            // mload(add(lut, i)) ends with byte i of the table in its lowest byte.
            let lut := add(table, 1)
            let inp := add(src, 32)
            let end := add(inp, n)
            let out := add(add(dst, 32), pos)
            for {} lt(inp, end) {} {
                let chunk := shr(232, mload(inp))
                let left := sub(end, inp)
                // Bytes past the end of src are not ours: clear them so the padding digits are 0.
                if lt(left, 3) { chunk := and(chunk, not(sub(shl(mul(8, sub(3, left)), 1), 1))) }
                mstore8(out, mload(add(lut, and(shr(18, chunk), 63))))
                mstore8(add(out, 1), mload(add(lut, and(shr(12, chunk), 63))))
                mstore8(add(out, 2), mload(add(lut, and(shr(6, chunk), 63))))
                mstore8(add(out, 3), mload(add(lut, and(chunk, 63))))
                out := add(out, 4)
                inp := add(inp, 3)
            }
            switch mod(n, 3)
            case 1 {
                mstore8(sub(out, 2), 0x3d)
                mstore8(sub(out, 1), 0x3d)
            }
            case 2 { mstore8(sub(out, 1), 0x3d) }
        }
        return pos + outLen;
    }
}

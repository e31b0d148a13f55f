#pragma once

// The sprite's raster as a pure function: which whole-pixel rectangles of which colours make up a
// figure in a square bitmap of side N, with the figure scaled uniformly until its longer side
// fills the square and centred along the shorter one. Needs no platform service, so the sprite,
// the inspector and the benchmarks all draw a figure the same way.

#include "Zibbles/decode/Pixel.h"
#include "platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace zibbles {

// One fill: bitmap coordinates, origin bottom-left, y up, one unit per device pixel.
struct RasterFill {
    platform::IntRect rect;
    Color color;
    bool operator==(const RasterFill&) const = default;
};

struct SpriteRaster {
    std::int64_t side = 0;         // N: the bitmap is N by N device pixels
    std::vector<RasterFill> fills; // in the pixels' list order; each clipped to the bitmap
};

// N = scale × spriteSize rounded half away from zero, or nothing when that is not a finite
// positive value that fits a signed 64-bit integer. Any thread.
std::optional<std::int64_t> spriteSide(double spriteSize, double scale);

// The fills of a figure whose pixels lie within content (in the artwork's units, y down), or
// nothing when there is nothing to draw: a content of no positive width and height, or no valid
// side. Every edge is rounded half away from zero, so rectangles that meet on a whole-number grid
// line of the artwork meet exactly in the bitmap. A rectangle of negative width or height covers
// the same pixels as its mirror image, as a bitmap fill does. Each fill is clipped to the bitmap,
// so a hostile figure costs at most N × N per pixel; fills left empty by that, or with an edge
// that is not a number, are left out.
// Any thread.
std::optional<SpriteRaster> rasterSprite(const Rect& content, const std::vector<Pixel>& pixels,
                                         double spriteSize, double scale);

} // namespace zibbles

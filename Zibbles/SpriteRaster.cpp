#include "Zibbles/SpriteRaster.h"

#include <algorithm>
#include <cmath>

namespace zibbles {
namespace {

// 2^63: every rounded double strictly inside ±2^63 converts to a signed 64-bit integer exactly.
constexpr double kInt64Limit = 9223372036854775808.0;

// A value rounded half away from zero and clamped into [0, side]; nothing for a value that is not
// a number. Clamping here is what clips a fill to the bitmap.
std::optional<std::int64_t> snappedEdge(double value, std::int64_t side) {
    const double rounded = std::round(value);
    if (std::isnan(rounded))
        return std::nullopt;
    if (rounded <= 0.0)
        return 0;
    if (rounded >= static_cast<double>(side))
        return side;
    return static_cast<std::int64_t>(rounded);
}

// The interval between two edges, whichever comes first.
struct Span {
    std::int64_t start;
    std::int64_t length;
};

std::optional<Span> spanBetween(double first, double second, std::int64_t side) {
    const auto a = snappedEdge(first, side);
    const auto b = snappedEdge(second, side);
    if (!a || !b || *a == *b)
        return std::nullopt;
    return Span{std::min(*a, *b), std::max(*a, *b) - std::min(*a, *b)};
}

} // namespace

std::optional<std::int64_t> spriteSide(double spriteSize, double scale) {
    const double rounded = std::round(scale * spriteSize);
    if (!(rounded > 0.0 && rounded < kInt64Limit))
        return std::nullopt;
    return static_cast<std::int64_t>(rounded);
}

std::optional<SpriteRaster> rasterSprite(const Rect& content, const std::vector<Pixel>& pixels,
                                         double spriteSize, double scale) {
    const double W = content.width;
    const double H = content.height;
    if (!(W > 0.0 && H > 0.0))
        return std::nullopt;
    const auto side = spriteSide(spriteSize, scale);
    if (!side)
        return std::nullopt;

    const double N = static_cast<double>(*side);
    const double M = W <= H ? H : W;
    const double k = N / M;
    const double offX = (N - W * k) * 0.5;
    const double offY = (N - H * k) * 0.5;

    SpriteRaster raster;
    raster.side = *side;
    raster.fills.reserve(pixels.size());
    for (const Pixel& p : pixels) {
        const double rx = p.x - content.x;
        const double ry = p.y - content.y;
        // Each product is formed before the offset is added; the y axis is turned over so the
        // artwork's top edge (smallest y) lands at the top of the drawn area.
        const double left = rx * k + offX;
        const double right = (rx + p.w) * k + offX;
        const double bottom = ((H - ry) - p.h) * k + offY;
        const double top = (H - ry) * k + offY;
        const auto columns = spanBetween(left, right, *side);
        const auto rows = spanBetween(bottom, top, *side);
        if (!columns || !rows)
            continue;
        raster.fills.push_back(
            {platform::IntRect{columns->start, rows->start, columns->length, rows->length},
             p.color});
    }
    return raster;
}

} // namespace zibbles

#include "Zibbles/SpriteRaster.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

namespace zibbles::platform {
void PrintTo(const IntRect& r, std::ostream* os) {
    *os << "{" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << "}";
}
} // namespace zibbles::platform

namespace zibbles {
namespace {

using platform::IntRect;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Pixel at(double x, double y, double w = 1, double h = 1) {
    return Pixel{x, y, w, h, Color{}};
}

std::vector<IntRect> rectsOf(const SpriteRaster& raster) {
    std::vector<IntRect> rects;
    for (const auto& fill : raster.fills)
        rects.push_back(fill.rect);
    return rects;
}

TEST(SpriteRaster, firstWorkedExample) {
    // spriteSize 150 at scale 2, content (2, 3) 30 × 20: N = 300, k = 10, offY = 50.
    const auto raster = rasterSprite(Rect{2, 3, 30, 20}, {at(2, 3), at(31, 22)}, 150, 2);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->side, 300);
    EXPECT_EQ(rectsOf(*raster), (std::vector<IntRect>{{0, 240, 10, 10}, {290, 50, 10, 10}}));
}

TEST(SpriteRaster, secondWorkedExampleSharesEdges) {
    // spriteSize 148.5 at scale 2, content 24 × 24: N = 297, k = 12.375.
    const auto raster =
        rasterSprite(Rect{0, 0, 24, 24}, {at(0, 0), at(1, 0), at(2, 0), at(23, 23)}, 148.5, 2);
    ASSERT_TRUE(raster);
    EXPECT_EQ(raster->side, 297);
    EXPECT_EQ(rectsOf(*raster),
              (std::vector<IntRect>{
                  {0, 285, 12, 12}, {12, 285, 13, 12}, {25, 285, 12, 12}, {285, 0, 12, 12}}));
}

// Whatever their sizes, rectangles whose edges lie on one whole-number grid line of the artwork
// meet on one pixel boundary: no gap, no overlap.
TEST(SpriteRaster, edgesOnOneGridLineMeetExactly) {
    for (double spriteSize : {148.5, 150.0, 77.3, 31.0}) {
        for (double scale : {1.0, 1.5, 2.0}) {
            std::vector<Pixel> pixels;
            for (int i = 0; i < 24; ++i) {
                pixels.push_back(at(i, 0, 1, 24));       // columns
                pixels.push_back(at(0, i, 24, 1));       // rows
                pixels.push_back(at(i, i, 24 - i, 1.0)); // long bands ending on the same line
            }
            const auto raster = rasterSprite(Rect{0, 0, 24, 24}, pixels, spriteSize, scale);
            ASSERT_TRUE(raster);
            for (int i = 0; i + 1 < 24; ++i) {
                const IntRect& column = raster->fills[3 * i].rect;
                const IntRect& next = raster->fills[3 * (i + 1)].rect;
                EXPECT_EQ(column.x + column.width, next.x) << spriteSize << " @" << scale;
                // Rows run top to bottom in the artwork, so bottom to top in the bitmap.
                const IntRect& row = raster->fills[3 * i + 1].rect;
                const IntRect& below = raster->fills[3 * (i + 1) + 1].rect;
                EXPECT_EQ(below.y + below.height, row.y) << spriteSize << " @" << scale;
                EXPECT_EQ(raster->fills[3 * i + 2].rect.x, column.x);
                EXPECT_EQ(raster->fills[3 * i + 2].rect.x + raster->fills[3 * i + 2].rect.width,
                          raster->side);
            }
        }
    }
}

TEST(SpriteRaster, singlePixelFillsTheSquareOrACentredBand) {
    struct Case {
        const char* name;
        Pixel pixel;
        IntRect expected;
    } cases[] = {
        {"unit square", at(5, 5), {0, 0, 300, 300}},
        {"large square", at(-3, 7, 40, 40), {0, 0, 300, 300}},
        // offY = (300 - 75) / 2 = 112.5: both edges of the band round up, halves away from zero.
        {"wide band", at(0, 0, 4, 1), {0, 113, 300, 75}},
        {"tall band", at(0, 0, 1, 2), {75, 0, 150, 300}},
    };
    for (const auto& c : cases) {
        const Rect content{c.pixel.x, c.pixel.y, c.pixel.w, c.pixel.h};
        const auto raster = rasterSprite(content, {c.pixel}, 150, 2);
        ASSERT_TRUE(raster) << c.name;
        EXPECT_EQ(rectsOf(*raster), (std::vector<IntRect>{c.expected})) << c.name;
    }
}

TEST(SpriteRaster, wideContentIsCentredVertically) {
    // Twice as wide as high at N = 300: 300 wide, 150 high, 75 transparent rows above and below.
    const auto raster = rasterSprite(Rect{0, 0, 20, 10}, {at(0, 0, 20, 10)}, 150, 2);
    ASSERT_TRUE(raster);
    EXPECT_EQ(rectsOf(*raster), (std::vector<IntRect>{{0, 75, 300, 150}}));
}

TEST(SpriteRaster, keepsListOrderAndColours) {
    const Color red{1, 0, 0, 1};
    const Color blue{0, 0, 1, 0.5};
    const auto raster =
        rasterSprite(Rect{0, 0, 2, 2}, {Pixel{0, 0, 2, 2, red}, Pixel{1, 1, 1, 1, blue}}, 10, 1);
    ASSERT_TRUE(raster);
    ASSERT_EQ(raster->fills.size(), 2u);
    EXPECT_EQ(raster->fills[0].color, red);
    EXPECT_EQ(raster->fills[1].color, blue);
    EXPECT_EQ(raster->fills[1].rect, (IntRect{5, 0, 5, 5}));
}

TEST(SpriteRaster, drawsNothingForDegenerateContentOrSide) {
    struct Case {
        const char* name;
        Rect content;
        double spriteSize;
        double scale;
    } cases[] = {
        {"zero width", Rect{0, 0, 0, 5}, 150, 2},
        {"zero height", Rect{0, 0, 5, 0}, 150, 2},
        {"NaN width", Rect{0, 0, kNaN, 5}, 150, 2},
        {"negative height", Rect{0, 0, 5, -1}, 150, 2},
        {"side rounds to zero", Rect{0, 0, 5, 5}, 0.2, 1},
        {"negative scale", Rect{0, 0, 5, 5}, 150, -2},
        {"NaN scale", Rect{0, 0, 5, 5}, 150, kNaN},
        {"infinite side", Rect{0, 0, 5, 5}, kInf, 1},
        {"side beyond int64", Rect{0, 0, 5, 5}, 1e19, 1},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(rasterSprite(c.content, {at(0, 0)}, c.spriteSize, c.scale)) << c.name;
}

TEST(SpriteRaster, sideRoundsHalfAwayFromZero) {
    EXPECT_EQ(spriteSide(148.5, 1), 149);
    EXPECT_EQ(spriteSide(148.5, 2), 297);
    EXPECT_EQ(spriteSide(0.5, 1), 1);
    EXPECT_EQ(spriteSide(0.49, 1), std::nullopt);
    EXPECT_EQ(spriteSide(9.2e18, 1), 9200000000000000000);
}

TEST(SpriteRaster, hostilePixelsAreClippedOrLeftOut) {
    const Rect content{0, 0, 10, 10};
    struct Case {
        const char* name;
        Pixel pixel;
        std::vector<IntRect> expected;
    } cases[] = {
        {"huge pixel clipped to the bitmap", at(-1e300, -1e300, 2e300, 2e300), {{0, 0, 100, 100}}},
        {"infinite width reaches the edge", at(5, 0, kInf, 1), {{50, 90, 50, 10}}},
        {"NaN edge left out", at(kNaN, 0), {}},
        {"NaN height left out", at(0, 0, 1, kNaN), {}},
        {"wholly outside left out", at(-50, 0, 10, 1), {}},
        {"zero width left out", at(3, 3, 0, 1), {}},
        {"negative width covers its mirror", at(3, 0, -2, 1), {{10, 90, 20, 10}}},
    };
    for (const auto& c : cases) {
        const auto raster = rasterSprite(content, {c.pixel}, 100, 1);
        ASSERT_TRUE(raster) << c.name;
        EXPECT_EQ(rectsOf(*raster), c.expected) << c.name;
        for (const auto& fill : raster->fills) {
            EXPECT_GE(fill.rect.x, 0);
            EXPECT_LE(fill.rect.x + fill.rect.width, raster->side);
        }
    }
}

} // namespace
} // namespace zibbles

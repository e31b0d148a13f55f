#include "Zibbles/ContentBounds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zibbles {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Pixel at(double x, double y, double w, double h) {
    return Pixel{x, y, w, h, Color{}};
}

TEST(ContentBounds, coversEveryPixel) {
    struct Case {
        const char* name;
        std::vector<Pixel> pixels;
        Rect expected;
    } cases[] = {
        {"no pixels", {}, Rect{0, 0, 0, 0}},
        {"one pixel is its own rectangle", {at(3, 4, 2, 5)}, Rect{3, 4, 2, 5}},
        {"two pixels", {at(0, 0, 1, 1), at(5, 7, 2, 3)}, Rect{0, 0, 7, 10}},
        {"order does not matter", {at(5, 7, 2, 3), at(0, 0, 1, 1)}, Rect{0, 0, 7, 10}},
        {"contained pixel", {at(0, 0, 24, 24), at(3, 3, 1, 1)}, Rect{0, 0, 24, 24}},
        {"zero-sized pixels", {at(2, 2, 0, 0), at(4, 6, 0, 0)}, Rect{2, 2, 2, 4}},
        {"demo canvas", {at(70, 30, 10, 10), at(150, 200, 30, 10)}, Rect{70, 30, 110, 180}},
        {"NaN after the first never replaces",
         {at(1, 1, 1, 1), at(kNaN, kNaN, 1, 1), at(2, 2, kNaN, kNaN)},
         Rect{1, 1, 1, 1}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(contentBounds(c.pixels), c.expected) << c.name;
}

// A NaN in the first pixel seeds the running values; x < NaN is false, so a NaN minimum stays,
// while maxX <= right is false too and a NaN maximum stays as well.
TEST(ContentBounds, NaNInTheFirstPixelStays) {
    const Rect bounds = contentBounds({at(kNaN, 0, 1, 1), at(5, 5, 1, 1)});
    EXPECT_TRUE(std::isnan(bounds.x));
    EXPECT_TRUE(std::isnan(bounds.width));
    EXPECT_EQ(bounds.y, 0.0);
    EXPECT_EQ(bounds.height, 6.0);
}

} // namespace
} // namespace zibbles

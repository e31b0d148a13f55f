// A Wayland buffer's size at a preferred scale in 120ths, and the scales taken from the compositor.

#include "platform/wayland/WaylandScale.h"

#include "Zibbles/SpriteRaster.h"
#include "platform/Compositor.h"

#include <gtest/gtest.h>

#include <limits>

namespace zibbles::platform {
namespace {

TEST(WaylandScale, BufferPixels) {
    struct Case {
        std::int64_t points;
        std::uint32_t scale;
        std::int64_t pixels;
    };
    const Case cases[] = {
        {1280, 150, 1600}, {720, 180, 1080}, {1280, 210, 2240}, // 125 %, 150 %, 175 %
        {640, 240, 1280},                                       // a whole scale
        {99, 150, 124},    {99, 180, 149},   {3, 180, 5},       // 123.75; halves away from zero
        {1, 30, 1},                                             // never an empty buffer
    };
    for (const Case& c : cases)
        EXPECT_EQ(bufferPixels(c.points, c.scale), c.pixels) << c.points << " at " << c.scale;
}

// The buffer must end where the view's background and the sprite's side do, or an edge row or
// column stays black and the figure's cells lose their pixel grid.
TEST(WaylandScale, BufferEndsWhereTheViewsPixelsDo) {
    for (std::uint32_t scale = 30; scale <= 960; ++scale) {
        const double factor = scaleFactorOf(scale);
        for (std::int64_t points = 1; points <= 2000; points += 7) {
            const IntRect view =
                Compositor::deviceRect({{0, 0}, {double(points), double(points)}}, factor, 0);
            ASSERT_EQ(bufferPixels(points, scale), std::max<std::int64_t>(1, view.width))
                << points << " points at " << scale;
            ASSERT_EQ(bufferPixels(points, scale), spriteSide(double(points), factor).value_or(1))
                << points << " points at " << scale;
        }
    }
}

TEST(WaylandScale, PreferredScaleFromTheCompositor) {
    EXPECT_EQ(preferredScale(0), std::nullopt);
    EXPECT_EQ(preferredScale(180), 180u);
    EXPECT_EQ(preferredScale(1), 30u); // a quarter at least
    EXPECT_EQ(preferredScale(std::numeric_limits<std::uint32_t>::max()), 960u); // 8 at most
}

} // namespace
} // namespace zibbles::platform

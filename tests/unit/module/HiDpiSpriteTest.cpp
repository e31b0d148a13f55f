// On a screen of scale 2 the figure must stay pixel-exact wherever the sprite is: the layer lands
// on whole device pixels and its N × N bitmap is copied one to one, never resampled.

#include "Zibbles/ZibblesBounceView.h"
#include "platform/Compositor.h"
#include "platform/Screen.h"
#include "platform/SoftwareFramebuffer.h"
#include "tests/support/FigureFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zibbles {
namespace {

platform::Rgba8 imagePixel(const platform::Image& image, std::int64_t x, std::int64_t y) {
    const auto* p = image.rgba().data() + y * image.bytesPerRow() + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

TEST(HiDpiSprite, TheBitmapIsCopiedOneToOneAtEveryPositionOnAScaleTwoScreen) {
    constexpr double kScale = 2.0;
    auto test = testing::makeTestEnvironment(5);
    test.environment.mainScreen->setBackingScaleFactor(kScale);
    auto view = ZibblesBounceView::initWithFrame(test.environment, {{0, 0}, {1920, 1080}}, false);
    ASSERT_TRUE(view);
    view->setWindow(std::make_shared<platform::Window>(kScale));
    view->current = testing::checkerFigure();
    view->refreshSprite();
    const auto image = view->spriteLayer->contents();
    ASSERT_TRUE(image);
    // 148.5 points at scale 2: a 297-pixel square, drawn at the screen's own resolution.
    ASSERT_EQ(image->width(), 297);
    ASSERT_EQ(image->height(), 297);

    platform::SoftwareFramebuffer screen(3840, 2160, kScale);
    platform::Compositor compositor;
    view->startAnimation();
    // The background, white 0.1: 25.5 rounds to 26.
    const platform::Rgba8 grey{26, 26, 26, 255};
    for (int frame = 0; frame < 40; ++frame) {
        test.advanceBy(0.0173 * (frame + 1)); // uneven steps: fractional positions in points
        compositor.invalidate();
        compositor.render(*view->layer(), test.now(), screen);
        const platform::Rect frameInPoints = view->spriteLayer->presentationFrame(test.now());
        const platform::IntRect rect =
            platform::Compositor::deviceRect(frameInPoints, kScale, 2160);
        ASSERT_EQ(rect.width, 297) << frame;
        ASSERT_EQ(rect.height, 297) << frame;
        EXPECT_LE(std::abs(static_cast<double>(rect.x) - frameInPoints.origin.x * kScale), 0.5)
            << frame;
        for (std::int64_t y = 0; y < 297; ++y)
            for (std::int64_t x = 0; x < 297; ++x) {
                const platform::Rgba8 want = imagePixel(*image, x, y);
                const platform::Rgba8 got = screen.pixelAt(rect.x + x, rect.y + y);
                // The checker is opaque; around it, where the square is empty, the background.
                ASSERT_EQ(got, want[3] == 255 ? want : grey)
                    << "frame " << frame << " at " << x << "," << y;
            }
    }
}

} // namespace
} // namespace zibbles

// A saver's window that moves to a monitor of another DPI (WM_DPICHANGED): the view follows, and
// the next frame is exact at the new scale, the sprite drawn anew and copied one to one. Needs a
// display (the Wine fixture's Xvfb).

#include "Zibbles/ZibblesBounceView.h"
#include "hosts/scr/ScrLoop.h"
#include "tests/support/FigureFixtures.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace zibbles::host {
namespace {

TEST(ScrDpiChange, theNextFrameIsExactAtTheNewDpi) {
    auto test = testing::makeTestEnvironment(3);
    std::string error;
    ScrScreen screen;
    screen.window = ScrWindow::fullScreen({0, 0, 480, 320}, error);
    ASSERT_TRUE(screen.window) << error;
    screen.target =
        std::make_unique<platform::CompositorTargetGdi>(screen.window->handle(), 480, 320, 1.0);
    screen.window->setTarget(screen.target.get());
    screen.view = ZibblesBounceView::initWithFrame(test.environment, {{0, 0}, {480, 320}}, false);
    ASSERT_TRUE(screen.view);
    screen.viewWindow = std::make_shared<platform::Window>(1.0);
    screen.view->setWindow(screen.viewWindow);
    screen.view->current = testing::checkerFigure();
    screen.view->refreshSprite();
    screen.view->startAnimation();
    test.advanceBy(0.37);
    screen.compositor.render(*screen.view->layer(), test.now(), *screen.target);

    // As the system says it: the new DPI in the message's word, a suggested rectangle beside.
    RECT suggested{0, 0, 480, 320};
    SendMessageW(screen.window->handle(), WM_DPICHANGED, MAKEWPARAM(144, 144),
                 reinterpret_cast<LPARAM>(&suggested));
    const auto dpi = screen.window->takeDpiChange();
    ASSERT_EQ(dpi, 144u);
    applyWindowShape(screen, {480, 320}, *dpi);

    EXPECT_EQ(screen.view->frame().size.width, 320.0);
    EXPECT_EQ(screen.view->frame().size.height, 320.0 / 1.5);
    const auto image = screen.view->spriteLayer->contents();
    ASSERT_TRUE(image);
    EXPECT_EQ(screen.view->spriteLayer->contentsScale(), 1.5);
    const auto side = static_cast<std::int64_t>(std::ceil(screen.view->spriteSize * 1.5));
    EXPECT_EQ(image->width(), side);

    test.advanceBy(0.41);
    screen.compositor.render(*screen.view->layer(), test.now(), *screen.target);
    const auto rect = platform::Compositor::deviceRect(
        screen.view->spriteLayer->presentationFrame(test.now()), 1.5, 320);
    ASSERT_EQ(rect.width, image->width());
    const platform::Rgba8 grey{26, 26, 26, 255};
    for (std::int64_t y = 0; y < rect.height; ++y)
        for (std::int64_t x = 0; x < rect.width; ++x) {
            const auto* p = image->rgba().data() + y * image->bytesPerRow() + x * 4;
            const platform::Rgba8 want{p[0], p[1], p[2], p[3]};
            ASSERT_EQ(screen.target->framebuffer().pixelAt(rect.x + x, rect.y + y),
                      want[3] == 255 ? want : grey)
                << x << "," << y;
        }
    screen.view->stopAnimation();
}

} // namespace
} // namespace zibbles::host

#include "Zibbles/ZibblesBounceView.h"
#include "platform/Screen.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <array>

namespace zibbles {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

constexpr Color kRed{1, 0, 0, 1};
constexpr Color kBlue{0, 0, 1, 1};

LoadedZibble figureOf(std::vector<Pixel> pixels) {
    LoadedZibble figure;
    figure.tokenId = 7;
    figure.content = ZibblesBounceView::contentBounds(pixels);
    figure.pixels = std::move(pixels);
    return figure;
}

// A 2 × 2 figure: red across the top row of the artwork (y = 0), blue across the bottom.
LoadedZibble redOverBlue() {
    return figureOf({Pixel{0, 0, 2, 1, kRed}, Pixel{0, 1, 2, 1, kBlue}});
}

// Memory row 0 of an image is its top row.
Bytes pixelOf(const platform::Image& image, std::int64_t x, std::int64_t rowFromTop) {
    const auto* p = image.rgba().data() + (rowFromTop * image.width() + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

class SpriteRenderingTest : public ::testing::Test {
  protected:
    std::shared_ptr<ZibblesBounceView> makeView(bool withMainScreen = true) {
        if (!withMainScreen)
            test.environment.mainScreen = nullptr;
        auto view = ZibblesBounceView::initWithFrame(test.environment, {{0, 0}, {800, 600}}, false);
        view->spriteSize = 150;
        return view;
    }

    testing::TestEnvironment test = testing::makeTestEnvironment();
};

TEST_F(SpriteRenderingTest, noCurrentClearsContentsAndKeepsTheScale) {
    auto view = makeView();
    view->current = redOverBlue();
    view->refreshSprite();
    ASSERT_TRUE(view->spriteLayer->contents());
    view->spriteLayer->setContentsScale(3.0);

    view->current.reset();
    view->refreshSprite();
    EXPECT_FALSE(view->spriteLayer->contents());
    EXPECT_EQ(view->spriteLayer->contentsScale(), 3.0);
}

TEST_F(SpriteRenderingTest, failuresClearContentsButStillSetTheScale) {
    struct Case {
        const char* name;
        LoadedZibble figure;
        double spriteSize;
    } cases[] = {
        {"zero-width pixels", figureOf({Pixel{1, 1, 0, 5, kRed}}), 150},
        {"zero-height pixels", figureOf({Pixel{1, 1, 5, 0, kRed}}), 150},
        {"empty pixel list", figureOf({}), 150},
        {"side rounds to zero", redOverBlue(), 0.1},
        {"side not finite", redOverBlue(), 1e308},
        {"bitmap too large", redOverBlue(), 1e6},
    };
    for (auto& c : cases) {
        auto view = makeView();
        view->setWindow(std::make_shared<platform::Window>(2.5));
        view->current = redOverBlue();
        view->refreshSprite();
        ASSERT_TRUE(view->spriteLayer->contents()) << c.name;

        view->current = c.figure;
        view->spriteSize = c.spriteSize;
        view->spriteLayer->setContentsScale(1.0);
        view->refreshSprite();
        EXPECT_FALSE(view->spriteLayer->contents()) << c.name;
        EXPECT_EQ(view->spriteLayer->contentsScale(), 2.5) << c.name;
    }
}

TEST_F(SpriteRenderingTest, scaleComesFromTheWindowThenTheMainScreenThenTwo) {
    struct Case {
        const char* name;
        std::optional<double> window;
        bool mainScreen; // of scale 1 (the test environment's)
        double scale;
        std::int64_t side;
    } cases[] = {
        {"window", 3.0, true, 3.0, 450},
        {"main screen", std::nullopt, true, 1.0, 150},
        {"neither", std::nullopt, false, 2.0, 300},
    };
    for (const auto& c : cases) {
        test = testing::makeTestEnvironment();
        auto view = makeView(c.mainScreen);
        if (c.window)
            view->setWindow(std::make_shared<platform::Window>(*c.window));
        view->current = redOverBlue();
        view->refreshSprite();
        EXPECT_EQ(view->spriteLayer->contentsScale(), c.scale) << c.name;
        ASSERT_TRUE(view->spriteLayer->contents()) << c.name;
        EXPECT_EQ(view->spriteLayer->contents()->width(), c.side) << c.name;
        EXPECT_EQ(view->spriteLayer->contents()->height(), c.side) << c.name;
    }
}

TEST_F(SpriteRenderingTest, figureIsUprightWithTransparentMargins) {
    auto view = makeView();
    // 4 wide, 2 high: at N = 150 the figure is 150 × 75, rows 38 to 112 from the top
    // (offY = 37.5 rounds to 38).
    view->current = figureOf({Pixel{10, 20, 4, 1, kRed}, Pixel{10, 21, 4, 1, kBlue}});
    view->refreshSprite();
    const auto image = view->spriteLayer->contents();
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width(), 150);
    EXPECT_EQ(pixelOf(*image, 75, 0), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(pixelOf(*image, 75, 36), (Bytes{0, 0, 0, 0}));
    EXPECT_EQ(pixelOf(*image, 0, 37), (Bytes{255, 0, 0, 255})); // the artwork's top is red
    EXPECT_EQ(pixelOf(*image, 149, 74), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(pixelOf(*image, 0, 75), (Bytes{0, 0, 255, 255})); // its bottom is blue
    EXPECT_EQ(pixelOf(*image, 149, 111), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(pixelOf(*image, 75, 112), (Bytes{0, 0, 0, 0}));
}

TEST_F(SpriteRenderingTest, eachCallMakesANewImage) {
    auto view = makeView();
    view->current = redOverBlue();
    view->refreshSprite();
    const auto first = view->spriteLayer->contents();
    view->refreshSprite();
    EXPECT_NE(view->spriteLayer->contents(), first);
    EXPECT_EQ(view->spriteLayer->contents()->rgba(), first->rgba());
}

} // namespace
} // namespace zibbles

#include "platform/BitmapContext.h"

#include <gtest/gtest.h>

#include <cmath>

namespace zibbles::platform {
namespace {

using Bytes = std::array<std::uint8_t, 4>;

TEST(BitmapContext, createRefusesSizesItCannotHold) {
    EXPECT_TRUE(BitmapContext::create(1, 1));
    EXPECT_TRUE(BitmapContext::create(297, 297));
    EXPECT_FALSE(BitmapContext::create(0, 10));
    EXPECT_FALSE(BitmapContext::create(10, -1));
    EXPECT_FALSE(BitmapContext::create(BitmapContext::maxPixels + 1, 1));
    EXPECT_FALSE(BitmapContext::create(std::int64_t{1} << 32, std::int64_t{1} << 32));
    EXPECT_FALSE(BitmapContext::create(INT64_MAX, INT64_MAX));
}

TEST(BitmapContext, startsTransparentWithOriginBottomLeft) {
    auto bitmap = BitmapContext::create(4, 3);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->pixelAt(0, 0), (Bytes{0, 0, 0, 0}));
    bitmap->setFillColor(Color{1, 0, 0, 1});
    bitmap->fillRect(IntRect{0, 0, 1, 1}); // bottom-left pixel
    const ImageRef image = bitmap->makeImage();
    ASSERT_EQ(image->rgba().size(), 4u * 3u * 4u);
    // Memory rows run top first, so the bottom-left pixel is the first of the last row.
    const std::size_t lastRow = 2 * 4 * 4;
    EXPECT_EQ(image->rgba()[lastRow + 0], 255);
    EXPECT_EQ(image->rgba()[lastRow + 3], 255);
    EXPECT_EQ(image->rgba()[3], 0);
}

TEST(BitmapContext, premultipliedBytesRoundHalfAwayFromZero) {
    struct Case {
        Color color;
        Bytes expected;
    } cases[] = {
        {{1, 1, 1, 1}, {255, 255, 255, 255}},
        {{1, 0.5, 0, 1}, {255, 128, 0, 255}}, // 127.5 rounds up
        {{1, 1, 1, 0.5}, {128, 128, 128, 128}},
        {{0.2, 0.4, 0.6, 0.5}, {26, 51, 77, 128}}, // 25.5, 51, 76.5
        {{2, -1, 0.5, 1}, {255, 0, 128, 255}},     // clamped
        {{NAN, 1, 1, NAN}, {0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(premultipliedBytes(c.color), c.expected);
}

TEST(BitmapContext, laterFillsOverlapEarlierOnesAndBlendBySourceOver) {
    auto bitmap = BitmapContext::create(3, 1);
    ASSERT_TRUE(bitmap);
    bitmap->setFillColor(Color{0, 0, 1, 1});
    bitmap->fillRect(IntRect{0, 0, 2, 1});
    bitmap->setFillColor(Color{1, 0, 0, 1});
    bitmap->fillRect(IntRect{1, 0, 2, 1}); // opaque: replaces the blue of pixel 1
    EXPECT_EQ(bitmap->pixelAt(0, 0), (Bytes{0, 0, 255, 255}));
    EXPECT_EQ(bitmap->pixelAt(1, 0), (Bytes{255, 0, 0, 255}));

    // Half-transparent green over blue, red and nothing: S = (0, 128, 0, 128),
    // D' = S + round(D × 127 / 255).
    bitmap->setFillColor(Color{0, 1, 0, 0.5});
    bitmap->fillRect(IntRect{0, 0, 3, 1});
    EXPECT_EQ(bitmap->pixelAt(0, 0), (Bytes{0, 128, 127, 255}));
    EXPECT_EQ(bitmap->pixelAt(1, 0), (Bytes{127, 128, 0, 255}));
    EXPECT_EQ(bitmap->pixelAt(2, 0), (Bytes{127, 128, 0, 255}));

    // Two translucent layers over transparent: alpha accumulates, never past 255.
    auto clear = BitmapContext::create(1, 1);
    clear->setFillColor(Color{1, 1, 1, 0.2}); // S = (51, 51, 51, 51)
    clear->fillRect(IntRect{0, 0, 1, 1});
    clear->fillRect(IntRect{0, 0, 1, 1}); // 51 + round(51 × 204 / 255) = 51 + 41 = 92
    EXPECT_EQ(clear->pixelAt(0, 0), (Bytes{92, 92, 92, 92}));
    clear->setFillColor(Color{1, 1, 1, 0});
    clear->fillRect(IntRect{0, 0, 1, 1});
    EXPECT_EQ(clear->pixelAt(0, 0), (Bytes{92, 92, 92, 92}));
}

TEST(BitmapContext, fillsAreClippedToTheBitmap) {
    struct Case {
        const char* name;
        IntRect rect;
        int filled;
    } cases[] = {
        {"inside", {1, 1, 2, 2}, 4},
        {"over the edges", {-5, -5, 100, 100}, 16},
        {"huge", {INT64_MIN / 2, INT64_MIN / 2, INT64_MAX, INT64_MAX}, 16},
        {"far right", {INT64_MAX - 1, 0, 1, 1}, 0},
        {"negative width", {2, 2, -1, 1}, 0},
        {"wholly below", {0, -3, 4, 2}, 0},
    };
    for (const auto& c : cases) {
        auto bitmap = BitmapContext::create(4, 4);
        bitmap->setFillColor(Color{1, 1, 1, 1});
        bitmap->fillRect(c.rect);
        int filled = 0;
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                filled += bitmap->pixelAt(x, y)[3] == 255;
        EXPECT_EQ(filled, c.filled) << c.name;
    }
}

TEST(BitmapContext, imageIsASnapshot) {
    auto bitmap = BitmapContext::create(1, 1);
    bitmap->setFillColor(Color{1, 1, 1, 1});
    const ImageRef before = bitmap->makeImage();
    bitmap->fillRect(IntRect{0, 0, 1, 1});
    EXPECT_EQ(before->rgba()[3], 0);
    EXPECT_EQ(bitmap->makeImage()->rgba()[3], 255);
}

} // namespace
} // namespace zibbles::platform

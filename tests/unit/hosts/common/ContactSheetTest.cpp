// The headless host's contact sheet: which figures it keeps, and where it draws them.

#include "hosts/common/ContactSheet.h"
#include "Zibbles/SpriteImage.h"
#include "platform/BitmapContext.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

namespace zibbles::host {
namespace {

// One opaque square of a colour that follows the id, filling the whole content.
LoadedZibble figure(TokenId id) {
    const double level = static_cast<double>(id % 200 + 40) / 255.0;
    const Pixel square{0, 0, 10, 10, Color{level, 1.0 - level, 0.5, 1.0}};
    return LoadedZibble{id, {square}, Rect{0, 0, 10, 10}};
}

std::vector<TokenId> ids(const std::vector<LoadedZibble>& figures) {
    std::vector<TokenId> out;
    for (const auto& f : figures)
        out.push_back(f.tokenId);
    return out;
}

std::array<std::uint8_t, 4> pixelAt(const platform::Image& image, std::int64_t x, std::int64_t y) {
    std::array<std::uint8_t, 4> px{};
    std::memcpy(px.data(), image.rgba().data() + y * image.bytesPerRow() + x * 4, 4);
    return px;
}

TEST(ShownFigures, reportsEachChangeAndKeepsEachTokenOnceInOrder) {
    ShownFigures shown;
    const std::optional<LoadedZibble> none;
    // The view's current figure at successive steps of the host's loop.
    const std::vector<std::pair<std::optional<TokenId>, std::optional<TokenId>>> steps = {
        {std::nullopt, std::nullopt}, // nothing shown yet
        {7, 7},                       // first figure
        {7, std::nullopt},            // unchanged
        {3, 3},
        {7, 7}, // shown again: reported, but not kept twice
        {9, 9},
    };
    for (const auto& [current, reported] : steps) {
        const auto got = shown.note(current ? std::optional(figure(*current)) : none);
        EXPECT_EQ(got, reported);
    }
    EXPECT_EQ(ids(shown.kept()), (std::vector<TokenId>{7, 3, 9}));
    EXPECT_EQ(shown.distinctShown(), 3u);
}

TEST(ShownFigures, keepsAtMostTheMaximumButCountsEveryToken) {
    ShownFigures shown;
    const auto total = static_cast<TokenId>(ShownFigures::maximumKept + 5);
    for (TokenId id = 1; id <= total; ++id)
        shown.note(figure(id));
    EXPECT_EQ(shown.kept().size(), ShownFigures::maximumKept);
    EXPECT_EQ(shown.kept().back().tokenId, static_cast<TokenId>(ShownFigures::maximumKept));
    EXPECT_EQ(shown.distinctShown(), static_cast<std::size_t>(total));
}

TEST(ContactSheet, growsByRowsOfAtMostPerRow) {
    const platform::Color grey = platform::Color::white(0.1, 1.0);
    const ContactSheetLayout layout{4, 20, 2};
    struct Case {
        int count;
        std::int64_t width, height;
    };
    for (const Case c : {Case{0, 24, 24}, Case{1, 24, 24}, Case{3, 68, 24}, Case{4, 90, 24},
                         Case{5, 90, 46}, Case{9, 90, 68}}) {
        std::vector<LoadedZibble> figures;
        for (int i = 0; i < c.count; ++i)
            figures.push_back(figure(i + 1));
        const auto sheet = drawContactSheet(figures, grey, layout);
        ASSERT_TRUE(sheet) << c.count;
        EXPECT_EQ(sheet->width(), c.width) << c.count;
        EXPECT_EQ(sheet->height(), c.height) << c.count;
    }
}

TEST(ContactSheet, drawsEachFigureAsTheSpriteDoesInItsCellOnTheBackground) {
    const platform::Color grey = platform::Color::white(0.1, 1.0);
    const ContactSheetLayout layout{2, 16, 4};
    // Content smaller than the cell and off-centre, so the sprite's trimming and centring show.
    LoadedZibble small{42, {Pixel{30, 50, 10, 20, Color{1, 0, 0, 1}}}, Rect{30, 50, 10, 20}};
    const std::vector<LoadedZibble> figures = {figure(1), figure(2), small};
    const auto sheet = drawContactSheet(figures, grey, layout);
    ASSERT_TRUE(sheet);
    const auto greyBytes = platform::premultipliedBytes(grey);

    for (std::size_t i = 0; i < figures.size(); ++i) {
        const auto sprite = drawSpriteImage(figures[i].content, figures[i].pixels, 16, 1.0);
        ASSERT_TRUE(sprite);
        const std::int64_t left = 4 + static_cast<std::int64_t>(i % 2) * 20;
        const std::int64_t top = 4 + static_cast<std::int64_t>(i / 2) * 20;
        for (std::int64_t y = 0; y < 16; ++y) {
            for (std::int64_t x = 0; x < 16; ++x) {
                auto want = pixelAt(*sprite, x, y);
                if (want[3] == 0)
                    want = greyBytes; // transparent margins show the background
                ASSERT_EQ(pixelAt(*sheet, left + x, top + y), want)
                    << "figure " << i << " at " << x << "," << y;
            }
        }
    }
    // The gaps and the empty fourth cell are background.
    for (const auto& [x, y] : {std::pair{0, 0}, {21, 10}, {10, 21}, {30, 30}, {43, 43}})
        EXPECT_EQ(pixelAt(*sheet, x, y), greyBytes) << x << "," << y;
}

TEST(ContactSheet, refusesALayoutOfNoSize) {
    const platform::Color grey = platform::Color::white(0.1, 1.0);
    for (const ContactSheetLayout bad :
         {ContactSheetLayout{0, 96, 8}, ContactSheetLayout{8, 0, 8}, ContactSheetLayout{8, 96, -1},
          ContactSheetLayout{1 << 20, 96, 8}, ContactSheetLayout{8, 1 << 20, 8}})
        EXPECT_FALSE(drawContactSheet({figure(1)}, grey, bad));
}

} // namespace
} // namespace zibbles::host

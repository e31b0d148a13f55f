// Artwork made to hurt: through the decoders and the sprite's raster, nothing crashes, decoding
// stays linear in the input, and drawing a rectangle never costs more than the bitmap it lands in.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/SpriteImage.h"
#include "Zibbles/SpriteRaster.h"
#include "Zibbles/decode/SvgRects.h"
#include "Zibbles/decode/TokenChain.h"
#include "tests/support/TokenBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <limits>
#include <string>

namespace zibbles {
namespace {

// A sprite of 148.5 points at scale 2, as on a 1080-point-high screen with a dense display.
constexpr double spriteSize = 148.5;
constexpr double scale = 2.0;

std::string rect(const std::string& x, const std::string& y, const std::string& w,
                 const std::string& h, const std::string& fill) {
    return "<rect x='" + x + "' y='" + y + "' width='" + w + "' height='" + h + "' fill='" + fill +
           "'/>";
}

// n one-unit squares on a 300-unit grid, in a document.
std::string manyRects(std::size_t n) {
    std::string svg = "<svg>";
    svg.reserve(n * 56);
    for (std::size_t i = 0; i < n; ++i)
        svg += rect(std::to_string(i % 300), std::to_string(i / 300 % 300), "1", "1", "#a1b2c3");
    return svg + "</svg>";
}

// Every fill lies in the N × N bitmap, one at most per pixel of the figure, so the raster's work
// is bounded by N × N per rectangle whatever the artwork says.
void expectClippedToTheBitmap(const std::vector<Pixel>& pixels, const SpriteRaster& raster) {
    EXPECT_LE(raster.fills.size(), pixels.size());
    for (const RasterFill& fill : raster.fills) {
        const platform::IntRect& r = fill.rect;
        ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.width > 0 && r.height > 0);
        ASSERT_TRUE(r.x + r.width <= raster.side && r.y + r.height <= raster.side);
    }
}

TEST(HostileArtwork, AMillionRectanglesDecodeAndDraw) {
    const std::string svg = manyRects(1'000'000);
    const std::vector<Pixel> pixels = parsePixels(svg);
    ASSERT_EQ(pixels.size(), 1'000'000u);
    const Rect content = contentBounds(pixels);
    EXPECT_EQ(content, (Rect{0, 0, 300, 300}));
    const auto raster = rasterSprite(content, pixels, spriteSize, scale);
    ASSERT_TRUE(raster);
    expectClippedToTheBitmap(pixels, *raster);
    const auto image = drawSpriteImage(content, pixels, spriteSize, scale);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 297);
}

TEST(HostileArtwork, HugeNumbersAndLongColoursAreReadOrDroppedNeverTrusted) {
    const std::string digits300 = "1" + std::string(300, '0'); // 1e300
    const std::string digits400 = "1" + std::string(400, '0'); // beyond a double's range
    const std::string longZeros = std::string(100'000, '0') + "7";
    const struct {
        const char* what;
        std::string tag;
        std::size_t pixels;
        double x;
    } cases[] = {
        {"x of 1e300", rect(digits300, "1", "1", "1", "#000"), 1, 1e300},
        {"x past a double's range", rect(digits400, "1", "1", "1", "#000"), 1, 0.0},
        {"x of a hundred thousand leading zeros", rect(longZeros, "1", "1", "1", "#000"), 1, 7},
        {"fill of 9 digits", rect("1", "1", "1", "1", "#123456789"), 0, 0},
        {"fill of a million digits", rect("1", "1", "1", "1", "#" + std::string(1 << 20, 'a')), 0,
         0},
        {"fill of 8 digits", rect("1", "1", "1", "1", "#12345678"), 1, 1},
    };
    EXPECT_FALSE(decodeRpcResponse(std::string(1 << 20, '['))) << "JSON nested a million deep";
    EXPECT_FALSE(decodeRpcResponse(R"({"result":")" + std::string((1 << 22) + 1, 'f') + "\"}"))
        << "an odd result of four million digits";
    for (const auto& c : cases) {
        const auto pixels = parsePixels(c.tag);
        ASSERT_EQ(pixels.size(), c.pixels) << c.what;
        if (c.pixels == 0)
            continue;
        EXPECT_EQ(pixels[0].x, c.x) << c.what;
    }
}

TEST(HostileArtwork, ARectangleCostsNoMoreThanTheBitmapItLandsIn) {
    const double huge = 1e300, inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Color red{1, 0, 0, 1}, glass{0, 0, 1, 0.5};
    const struct {
        const char* what;
        std::vector<Pixel> pixels;
    } cases[] = {
        {"one unit and one of 1e300", {{0, 0, 1, 1, red}, {0, 0, huge, huge, glass}}},
        {"a hundred of 1e300", std::vector<Pixel>(100, Pixel{1, 1, huge, huge, glass})},
        {"far away on both sides", {{-huge, -huge, 1, 1, red}, {huge, huge, 1, 1, red}}},
        {"negative extents", {{5, 5, -huge, -huge, red}, {0, 0, 1, 1, red}}},
        {"infinities and NaN", {{0, 0, 1, 1, red}, {inf, 0, 1, 1, red}, {nan, nan, nan, nan, red}}},
        {"the largest finite values", {{0, 0, 1, 1, red}, {0, 0, 1.7e308, 1.7e308, glass}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Rect content = contentBounds(c.pixels);
        // Also against a content the figure does not fit in, as a hand-made record might be.
        for (const Rect& bounds : {content, Rect{0, 0, 1, 1}}) {
            const auto raster = rasterSprite(bounds, c.pixels, spriteSize, scale);
            if (raster)
                expectClippedToTheBitmap(c.pixels, *raster);
            const auto image = drawSpriteImage(bounds, c.pixels, spriteSize, scale);
            EXPECT_EQ(image != nullptr, raster.has_value());
        }
    }
}

// Stacked full-square fills: 64 squares' worth are drawn, and nothing after them, so a figure
// of a hundred thousand translucent layers costs the main thread a bounded moment at a swap.
TEST(HostileArtwork, FillingStopsAfterSixtyFourSquaresWorthOfPixels) {
    const Color red{1, 0, 0, 1}, blue{0, 0, 1, 1};
    const auto topLeftOf = [](const std::vector<Pixel>& pixels) {
        const auto image = drawSpriteImage(contentBounds(pixels), pixels, spriteSize, scale);
        return std::vector<std::uint8_t>(image->rgba().begin(), image->rgba().begin() + 4);
    };
    std::vector<Pixel> layers(63, Pixel{0, 0, 10, 10, red});
    layers.push_back({0, 0, 10, 10, blue});
    EXPECT_EQ(topLeftOf(layers), (std::vector<std::uint8_t>{0, 0, 255, 255})) << "the 64th fill";
    layers.insert(layers.begin(), Pixel{0, 0, 10, 10, red});
    EXPECT_EQ(topLeftOf(layers), (std::vector<std::uint8_t>{255, 0, 0, 255})) << "the 65th fill";
}

// The fastest of three runs, in seconds of this thread's CPU time: on a loaded machine the wall
// clock also counts the time other processes held the core, which made the ratio below pass 10.
double fastestOfThree(const std::function<void()>& run) {
    const auto cpuSeconds = [] {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
    };
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < 3; ++i) {
        const double began = cpuSeconds();
        run();
        best = std::min(best, cpuSeconds() - began);
    }
    return best;
}

TEST(HostileArtwork, DecodingStaysLinearInTheInput) {
    // Each input at about 2.5 MB and four times that; a quadratic decoder would take 16 times
    // as long, a linear one 4. The bound leaves room for a loaded machine.
    constexpr std::size_t unit = 2'500'000;
    const auto repeat = [](const std::string& piece, std::size_t bytes) {
        std::string out;
        out.reserve(bytes + piece.size());
        while (out.size() < bytes)
            out += piece;
        return out;
    };
    const auto token = [](const std::string& svg) {
        return testing::rpcBodyOf(testing::abiEncodeString(testing::tokenUriOfSvg(svg)));
    };
    const struct {
        const char* what;
        std::function<std::string(std::size_t)> input;
        std::function<void(const std::string&)> decode;
    } cases[] = {
        {"many rectangles", [](std::size_t n) { return manyRects(n / 56); },
         [](const std::string& s) { (void)parsePixels(s); }},
        {"one tag of repeated attributes",
         [&](std::size_t n) { return "<rect" + repeat(" x='1' y='2' fill='#abc'", n) + ">"; },
         [](const std::string& s) { (void)parsePixels(s); }},
        {"one tag of names without values",
         [&](std::size_t n) { return "<rect " + repeat("x=x=width='fill='#", n) + ">"; },
         [](const std::string& s) { (void)parsePixels(s); }},
        {"one number of millions of digits",
         [&](std::size_t n) { return "<rect fill='#000' x='" + repeat("1", n) + "'>"; },
         [](const std::string& s) { (void)parsePixels(s); }},
        {"a tag that never closes", [&](std::size_t n) { return repeat("<rect x='1' ", n); },
         [](const std::string& s) { (void)parsePixels(s); }},
        {"a whole answer of many rectangles",
         [&](std::size_t n) { return token(manyRects(n / 200)); },
         [](const std::string& s) { (void)decodeRpcResponse(s); }},
    };
    for (const auto& c : cases) {
        const std::string small = c.input(unit), large = c.input(4 * unit);
        const double once = fastestOfThree([&] { c.decode(small); });
        const double four = fastestOfThree([&] { c.decode(large); });
        // Runs shorter than a few milliseconds measure the machine, not the decoder.
        const double ratio = four / std::max(once, 0.005);
        std::printf("%-36s %8.2f ms at 1x, %8.2f ms at 4x: %.1fx\n", c.what, once * 1e3, four * 1e3,
                    ratio);
        EXPECT_LT(ratio, 10.0) << c.what;
    }
}

} // namespace
} // namespace zibbles

// zibbles-inspect --render draws the decoded figure exactly as the sprite shows it.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/SpriteImage.h"
#include "Zibbles/decode/TokenChain.h"
#include "platform/PngReader.h"
#include "platform/PngWriter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zibbles {
namespace {

namespace fs = std::filesystem;

const fs::path kInspect = fs::path(ZIBBLES_BINARY_DIR) / "hosts" / "zibbles-inspect";
const fs::path kFigure = fs::path(ZIBBLES_TEST_DATA) / "decode" / "golden-24x24.svg";

int runInspect(const std::string& arguments) {
    const std::string command = kInspect.string() + " " + arguments + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readText(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(InspectRender, writesTheSpriteAsItIsShown) {
    struct Case {
        const char* options;
        double size;
        double scale;
        std::int64_t side;
    } cases[] = {
        {"", 148.5, 2.0, 297},
        {"--size 24 --scale 1", 24, 1, 24},
        {"--scale 1.5 --size 100", 100, 1.5, 150},
    };
    const auto pixels = pixelsOfSvg(readText(kFigure));
    ASSERT_TRUE(pixels);
    for (const auto& c : cases) {
        const fs::path out =
            fs::temp_directory_path() / ("inspect-render-" + std::to_string(::getpid()) + ".png");
        ASSERT_EQ(runInspect(std::string("--render ") + out.string() + " " + c.options + " " +
                             kFigure.string()),
                  0)
            << c.options;
        const auto written = platform::readPng(out.string());
        ASSERT_TRUE(written.pixels) << written.error;
        EXPECT_EQ(written.pixels->width, c.side) << c.options;
        const auto expected =
            drawSpriteImage(contentBounds(*pixels.value), *pixels.value, c.size, c.scale);
        ASSERT_TRUE(expected);
        EXPECT_TRUE(written.pixels->rgba == platform::unpremultipliedRgba(*expected)) << c.options;
        fs::remove(out);
    }
}

TEST(InspectRender, refusesBadRenderOptions) {
    const std::string figure = kFigure.string();
    EXPECT_EQ(runInspect("--render /tmp/x.png --size 0 " + figure), 2);
    EXPECT_EQ(runInspect("--render /tmp/x.png --scale abc " + figure), 2);
    EXPECT_EQ(runInspect("--size 10 " + figure), 2);
    EXPECT_EQ(runInspect("--batch --render /tmp/x.png " + figure), 2);
    EXPECT_EQ(runInspect("--render /nonexistent/dir/x.png " + figure), 1);
    EXPECT_EQ(runInspect("--render /tmp/x.png --size 0.1 --scale 1 " + figure), 1);
}

} // namespace
} // namespace zibbles

// The headless host end to end: a fixed figure and a fixed seed, frames compared byte for byte
// with the ones kept in tests/data/golden. After a deliberate change to the drawing, run this
// test with ZIBBLES_UPDATE_GOLDEN=1 to write new golden frames, and look at them before keeping
// them.

#include "platform/PngReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace zibbles {
namespace {

namespace fs = std::filesystem;

const fs::path kHost = fs::path(ZIBBLES_BINARY_DIR) / "hosts" / "zibbles-render";
const fs::path kGolden = fs::path(ZIBBLES_TEST_DATA) / "golden";
const fs::path kFigure = fs::path(ZIBBLES_TEST_DATA) / "decode" / "golden-24x24.svg";

// Frames at 0 s (before the first bounce, at 0.46 s), 2.5 s and 3.5 s (on the next leg), of a
// 320 × 180 point view at scale 2.
constexpr int kFrames[] = {0, 5, 7};

fs::path freshFolder(const std::string& name) {
    const fs::path dir = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    return dir;
}

int runHost(const std::string& arguments) {
    const std::string command = kHost.string() + " " + arguments + " 2>/dev/null";
    return std::system(command.c_str());
}

std::string frameName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05d.png", index);
    return name;
}

TEST(RenderGolden, framesMatchTheGoldenOnesByteForByte) {
    const fs::path out = freshFolder("zibbles-render-golden");
    ASSERT_EQ(runHost("--figure " + kFigure.string() +
                      " --no-network --virtual-time --seed 7 --size 320x180 --scale 2"
                      " --seconds 4 --fps 2 --out " +
                      out.string()),
              0);
    const bool update = std::getenv("ZIBBLES_UPDATE_GOLDEN") != nullptr;
    for (int index : kFrames) {
        const std::string name = frameName(index);
        if (update) {
            fs::create_directories(kGolden);
            fs::copy_file(out / name, kGolden / ("render-" + name),
                          fs::copy_options::overwrite_existing);
        }
        const auto frame = platform::readPng((out / name).string());
        const auto golden = platform::readPng((kGolden / ("render-" + name)).string());
        ASSERT_TRUE(frame.pixels) << name << ": " << frame.error;
        ASSERT_TRUE(golden.pixels) << name << ": " << golden.error;
        EXPECT_EQ(frame.pixels->width, 640);
        EXPECT_EQ(frame.pixels->height, 360);
        EXPECT_TRUE(frame.pixels->rgba == golden.pixels->rgba) << name << " differs";
        // The corners show the dark grey background (white level 0.1).
        const std::vector<std::uint8_t> grey{26, 26, 26, 255};
        EXPECT_TRUE(std::equal(grey.begin(), grey.end(), frame.pixels->rgba.begin())) << name;
    }
    fs::remove_all(out);
}

TEST(RenderGolden, sameSeedSameFramesOtherSeedOtherPlace) {
    const fs::path a = freshFolder("zibbles-render-a");
    const fs::path b = freshFolder("zibbles-render-b");
    const std::string common = "--figure " + kFigure.string() +
                               " --no-network --virtual-time --size 200x120 --seconds 1 --fps 1";
    ASSERT_EQ(runHost(common + " --seed 3 --out " + a.string()), 0);
    ASSERT_EQ(runHost(common + " --seed 4 --out " + b.string()), 0);
    const auto first = platform::readPng((a / frameName(0)).string());
    const auto other = platform::readPng((b / frameName(0)).string());
    ASSERT_TRUE(first.pixels && other.pixels);
    EXPECT_FALSE(first.pixels->rgba == other.pixels->rgba);
    ASSERT_EQ(runHost(common + " --seed 3 --out " + b.string()), 0);
    const auto again = platform::readPng((b / frameName(0)).string());
    ASSERT_TRUE(again.pixels);
    EXPECT_TRUE(first.pixels->rgba == again.pixels->rgba);
    fs::remove_all(a);
    fs::remove_all(b);
}

TEST(RenderGolden, badArgumentsExitWithTwoAndBadFilesWithOne) {
    struct Case {
        const char* arguments;
        int exitCode;
    } cases[] = {
        {"--help >/dev/null", 0},
        {"--size 0x10", 2},
        {"--size 10", 2},
        {"--scale -1", 2},
        {"--fps nan", 2},
        {"--seed -3", 2},
        {"--seconds", 2},
        {"--unknown", 2},
        {"--no-network --seconds 0 --figure /nonexistent/figure.svg", 1},
        {"--no-network --seconds 0 --out /proc/no-such-folder", 1},
        {"--no-network --seconds 0 --trace /nonexistent/dir/trace.jsonl", 1},
        {"--no-network --virtual-time --seconds 0.5 --fps 4 --size 64x64", 0},
    };
    for (const auto& c : cases) {
        const int status = runHost(c.arguments);
        ASSERT_TRUE(WIFEXITED(status)) << c.arguments;
        EXPECT_EQ(WEXITSTATUS(status), c.exitCode) << c.arguments;
    }
}

} // namespace
} // namespace zibbles

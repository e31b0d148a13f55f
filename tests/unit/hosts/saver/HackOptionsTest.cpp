#include "hosts/saver/HackOptions.h"
#include "hosts/common/HostOptions.h"
#include "platform/x11/XftDpi.h"

#include <gtest/gtest.h>

namespace zibbles::host {
namespace {

TEST(HackOptions, WindowIdsAsTheDaemonWritesThem) {
    struct Case {
        const char* text;
        std::optional<std::uint32_t> id;
    };
    const Case cases[] = {
        {"0x600008", 0x600008},        // XSCREENSAVER_WINDOW's form
        {"0X600008", 0x600008},        //
        {"6291464", 0x600008},         // decimal
        {"030000010", 0x600008},       // octal, as strtoul with base 0 reads it
        {"0xFFFFFFFF", 0xFFFFFFFFu},   // the largest id
        {"0x100000000", std::nullopt}, // beyond 32 bits
        {"99999999999999999999999", std::nullopt},
        {"0", std::nullopt}, // None is no window
        {"", std::nullopt},
        {"0x", std::nullopt},
        {"-1", std::nullopt}, // strtoul would wrap it to the largest value
        {"+5", std::nullopt},
        {" 0x10", std::nullopt},
        {"0x10 ", std::nullopt},
        {"12abc", std::nullopt},
        {"09", std::nullopt}, // not octal
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseWindowId(c.text), c.id) << "'" << c.text << "'";
}

TEST(HackOptions, TheCommandLineComesFirstThenTheVariableThenTheRoot) {
    struct Case {
        HackRequest request;
        std::optional<HackWindowKind> kind;
        std::uint32_t id;
    };
    const Case cases[] = {
        {{"0x10", true, "0x20"}, HackWindowKind::Given, 0x10},
        {{std::nullopt, true, "0x20"}, HackWindowKind::Given, 0x20}, // the daemon's full screen
        {{"junk", false, "0x20"}, HackWindowKind::Given, 0x20},
        {{std::nullopt, true, std::nullopt}, HackWindowKind::Root, 0},
        {{"junk", true, "junk"}, HackWindowKind::Root, 0},
        {{"junk", false, std::nullopt}, std::nullopt, 0},
        {{std::nullopt, false, "junk"}, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        const HackChoice choice = chooseHackWindow(c.request);
        ASSERT_EQ(choice.window.has_value(), c.kind.has_value()) << choice.error;
        if (!c.kind) {
            EXPECT_NE(choice.error.find("is not an X window id"), std::string::npos);
            continue;
        }
        EXPECT_EQ(choice.window->kind, *c.kind);
        EXPECT_EQ(choice.window->id, c.id);
    }
}

TEST(HackOptions, OnlySmallWindowsArePreviews) {
    EXPECT_TRUE(isPreviewSize(565, 317)); // the settings dialog's preview
    EXPECT_TRUE(isPreviewSize(639, 1000));
    EXPECT_TRUE(isPreviewSize(1000, 399));
    EXPECT_FALSE(isPreviewSize(640, 400));
    EXPECT_FALSE(isPreviewSize(1280, 720));
    EXPECT_FALSE(isPreviewSize(960, 540)); // a 1920 × 1080 screen at scale 2, in points
}

TEST(HackOptions, XftDpiFromTheResourceDatabase) {
    struct Case {
        const char* resources;
        double dpi;
        double scale;
    };
    const Case cases[] = {
        {"Xft.dpi:\t144\n", 144, 1.5},
        {"Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n", 192, 2.0},
        {"Xft.dpi:\t96", 96, 1.0},
        {"Xft.dpi:\t120 \n", 120, 1.25},
        {nullptr, 0, 1.0},
        {"", 0, 1.0},
        {"Xft.antialias:\t1\n", 0, 1.0},
        {"Xft.dpi:\t0\n", 0, 1.0},
        {"Xft.dpi:\t-96\n", 0, 1.0},
        {"Xft.dpi:\tabc\n", 0, 1.0},
        {"Xft.dpi:\t144abc\n", 0, 1.0},
        {"Xft.dpi:\tinf\n", 0, 1.0},
        {"Xft.dpi:\n144\n", 0, 1.0},     // the next line is not this resource's value
        {"Xft.dpi:\t9600\n", 9600, 1.0}, // 100×: a misconfiguration, ignored
        {"Xft.dpi:\t24\n", 24, 1.0},     // a quarter: likewise
        {"XXft.dpi:\t144\n", 0, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::xftDpiOf(c.resources), c.dpi) << (c.resources ? c.resources : "null");
        EXPECT_EQ(platform::xftScaleOf(c.resources), c.scale)
            << (c.resources ? c.resources : "null");
    }
}

struct Parsed {
    bool root = false;
    std::optional<std::string> windowId;
    std::optional<std::string> seed;
};

std::vector<OptionRow> tableFor(Parsed& p) {
    using Error = std::optional<std::string>;
    return {
        {"-root", "", "",
         [&p](std::string_view) -> Error {
             p.root = true;
             return std::nullopt;
         }},
        {"-window-id", "ID", "",
         [&p](std::string_view v) -> Error {
             p.windowId = std::string(v);
             return std::nullopt;
         }},
        {"--seed", "N", "",
         [&p](std::string_view v) -> Error {
             if (!parseSeed(v))
                 return "expected a whole number";
             p.seed = std::string(v);
             return std::nullopt;
         }},
    };
}

TEST(HackOptions, ALenientParseSkipsWhatItCannotUseAndGoesOn) {
    Parsed parsed;
    const auto problems = parseArgumentsLeniently(
        tableFor(parsed), {"-fps", "--seed", "abc", "-root", "--root=1", "-window-id", "0x5"});
    EXPECT_TRUE(parsed.root);
    EXPECT_EQ(parsed.windowId, "0x5");
    EXPECT_FALSE(parsed.seed);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_EQ(problems[0], "unknown option '-fps'");
    EXPECT_EQ(problems[1], "option '--seed': expected a whole number");
    EXPECT_EQ(problems[2], "unknown option '--root=1'");

    Parsed trailing;
    EXPECT_EQ(parseArgumentsLeniently(tableFor(trailing), {"-root", "-window-id"}),
              std::vector<std::string>{"option '-window-id' needs a value (ID)"});
    EXPECT_TRUE(trailing.root);
}

TEST(HackOptions, AStrictParseStopsAtTheFirstProblem) {
    Parsed parsed;
    EXPECT_EQ(parseArguments(tableFor(parsed), {"--seed", "abc", "-fps", "-root"}),
              "option '--seed': expected a whole number");
    EXPECT_FALSE(parsed.root);
    EXPECT_EQ(parseArguments(tableFor(parsed), {"-root", "--seed", "7"}), std::nullopt);
    EXPECT_EQ(parsed.seed, "7");
}

} // namespace
} // namespace zibbles::host

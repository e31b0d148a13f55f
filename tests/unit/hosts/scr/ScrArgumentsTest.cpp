// The screen saver's command line as Windows writes it, and which input ends the saver.

#include "hosts/scr/ScrArguments.h"
#include "hosts/scr/ScrInputRules.h"

#include <gtest/gtest.h>

namespace zibbles::host {
namespace {

TEST(ScrArguments, readsTheModesAsWindowsWritesThem) {
    struct Case {
        std::vector<std::string> arguments;
        ScrMode mode;
        std::optional<std::uintptr_t> window;
    } cases[] = {
        {{}, ScrMode::Configure, {}},
        {{"/s"}, ScrMode::FullScreen, {}},
        {{"/S"}, ScrMode::FullScreen, {}},
        {{"-s"}, ScrMode::FullScreen, {}},
        {{"/p", "1234"}, ScrMode::Preview, 1234},
        {{"/P:1234"}, ScrMode::Preview, 1234},
        {{"-p", "0x4d2"}, ScrMode::Preview, 1234},
        {{"/c"}, ScrMode::Configure, {}},
        {{"/c:65792"}, ScrMode::Configure, 65792},
        {{"/C", "65792"}, ScrMode::Configure, 65792},
        {{"/a"}, ScrMode::ChangePassword, {}},
        {{"/a", "65792"}, ScrMode::ChangePassword, 65792},
    };
    for (const auto& c : cases) {
        const ScrParse parse = parseScrArguments(c.arguments);
        const std::string shown = c.arguments.empty() ? "(none)" : c.arguments.front();
        ASSERT_TRUE(parse.command) << shown << ": " << parse.error;
        EXPECT_EQ(parse.command->mode, c.mode) << shown;
        EXPECT_EQ(parse.command->window, c.window) << shown;
    }
}

TEST(ScrArguments, takesTheLinuxSaversOptionsBesideAMode) {
    const ScrParse parse =
        parseScrArguments({"/s", "--endpoint", "http://127.0.0.1:8545", "--seed", "7",
                           "--no-network", "--figure", "f.svg", "--trace", "t.jsonl", "--quiet"});
    ASSERT_TRUE(parse.command) << parse.error;
    const ScrOptions& o = parse.command->options;
    EXPECT_EQ(o.endpoint, "http://127.0.0.1:8545");
    EXPECT_EQ(o.seed, 7u);
    EXPECT_TRUE(o.noNetwork && o.quiet);
    EXPECT_EQ(o.figurePath, "f.svg");
    EXPECT_EQ(o.tracePath, "t.jsonl");
}

TEST(ScrArguments, refusesWhatItCannotRead) {
    const struct {
        std::vector<std::string> arguments;
        const char* words; // part of the error
    } cases[] = {
        {{"/p"}, "needs the handle"},
        {{"/p", "window"}, "needs the handle"},
        {{"/p:0"}, "is not a window handle"},
        {{"/p:12ab"}, "is not a window handle"},
        {{"/c:-5"}, "is not a window handle"},
        {{"/p:99999999999999999999999"}, "is not a window handle"},
        {{"/s:1"}, "takes no window handle"},
        {{"/s", "/p", "1"}, "give one of"},
        {{"/x"}, "unknown option"},
        {{"--bogus"}, "unknown option"},
        {{"/s", "--seed", "-1"}, "--seed"},
        {{"/s", "--endpoint", "ftp://x"}, "--endpoint"},
    };
    for (const auto& c : cases) {
        const ScrParse parse = parseScrArguments(c.arguments);
        EXPECT_FALSE(parse.command) << c.arguments.back();
        EXPECT_NE(parse.error.find(c.words), std::string::npos)
            << c.arguments.back() << ": " << parse.error;
    }
}

TEST(ScrInputRules, fullScreenEndsOnInputPastThePointersSlack) {
    const struct {
        ScrInput input;
        ScrMode mode;
        double scale;
        bool ends;
    } cases[] = {
        {{ScrInputKind::Key}, ScrMode::FullScreen, 1.0, true},
        {{ScrInputKind::Button}, ScrMode::FullScreen, 1.0, true},
        {{ScrInputKind::Wheel}, ScrMode::FullScreen, 1.0, true},
        {{ScrInputKind::PointerMoved, 3, 2}, ScrMode::FullScreen, 1.0, false},
        {{ScrInputKind::PointerMoved, 4, 3}, ScrMode::FullScreen, 1.0, true},
        {{ScrInputKind::PointerMoved, 4, 3}, ScrMode::FullScreen, 1.5, false}, // 3.3 points
        {{ScrInputKind::Key}, ScrMode::Preview, 1.0, false},
        {{ScrInputKind::PointerMoved, 400, 0}, ScrMode::Preview, 1.0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(endsTheSaver(c.input, c.mode, c.scale), c.ends)
            << static_cast<int>(c.input.kind) << " " << c.input.dx << "," << c.input.dy << " at "
            << c.scale;
}

} // namespace
} // namespace zibbles::host

#include "hosts/idle/IdleSourceChoice.h"
#include "hosts/idle/SaverChild.h"
#include "hosts/saver/IdleLauncherStart.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

namespace zibbles::host {
namespace {

TEST(IdleLauncher, TheFirstSourceTheSessionOffers) {
    using K = IdleSourceKind;
    struct Case {
        const char* session;
        IdleOffers offers; // mutter, ext, kde, x11, daemon
        std::optional<K> source;
        bool daemonRuns;
    };
    const Case cases[] = {
        {"GNOME on Wayland", {true, false, false, false, false}, K::MutterIdleMonitor, false},
        {"GNOME on X11", {true, false, false, true, false}, K::MutterIdleMonitor, false},
        {"KDE Plasma 5.27", {false, true, true, false, false}, K::WaylandExtIdle, false},
        {"sway 1.8 with XWayland", {false, true, true, true, false}, K::WaylandExtIdle, false},
        {"sway 1.7", {false, false, true, false, false}, K::WaylandKdeIdle, false},
        {"an X11 desktop", {false, false, false, true, false}, K::X11ScreenSaver, false},
        {"X11 with the daemon", {false, false, false, true, true}, std::nullopt, true},
        {"GNOME on X11 with the daemon", {true, false, false, true, true}, std::nullopt, true},
        {"nothing at all", {}, std::nullopt, false},
    };
    for (const Case& c : cases) {
        const IdleSourceChoice choice = chooseIdleSource(c.offers);
        EXPECT_EQ(choice.source, c.source) << c.session;
        EXPECT_EQ(choice.daemonRuns, c.daemonRuns) << c.session;
    }
}

TEST(IdleLauncher, TheSaverGetsEveryArgumentButIdleAndIsFullScreen) {
    using Args = std::vector<std::string>;
    struct Case {
        Args launcher;
        Args saver;
    };
    const Case cases[] = {
        {{"--idle", "300"}, {"--fullscreen"}},
        {{"--idle=2", "--quiet"}, {"--fullscreen", "--quiet"}},
        {{"--seed", "4", "--idle", "2", "--trace", "t.json"},
         {"--fullscreen", "--seed", "4", "--trace", "t.json"}},
        {{"--fullscreen", "--idle", "5"}, {"--fullscreen"}},
        {{"--endpoint", "http://127.0.0.1:1", "--idle"},
         {"--fullscreen", "--endpoint", "http://127.0.0.1:1"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(saverArguments(c.launcher), c.saver);
    // What zibbles hands its launcher: the saver, the seconds as given, the status lines' switch.
    EXPECT_EQ(idleLauncherArguments("/usr/bin/z", 0.5, true, {"--idle", "0.5", "--seed", "1"}),
              (Args{"/usr/bin/z", "0.5", "quiet", "--fullscreen", "--seed", "1"}));
    EXPECT_EQ(idleLauncherArguments("/z", 300, false, {"--idle=300"}),
              (Args{"/z", "300", "status", "--fullscreen"}));
}

TEST(IdleLauncher, AQuitSignalOrExitZeroIsNoCrash) {
    EXPECT_TRUE(endedAsAsked(0));
    EXPECT_TRUE(endedAsAsked(SIGTERM)); // a wait status for "killed by SIGTERM"
    EXPECT_FALSE(endedAsAsked(1 << 8)); // exit status 1
    EXPECT_FALSE(endedAsAsked(SIGSEGV));
    EXPECT_EQ(describeEnd(SIGSEGV), "signal 11 (Segmentation fault)");
    EXPECT_EQ(describeEnd(127 << 8), "exit status 127");
}

} // namespace
} // namespace zibbles::host

// zibbles: the saver. Shows it in a window of its own, full screen on every
// display, or as a screen-saver daemon's hack in the window the daemon made.
//
// Flow of control:
//   main
//   ├── parseCommandLine            usage errors → exit 2 (a hack skips them), --help or
//   │                               --version → exit 0
//   ├── startIdleLauncher           --idle: exec the resident launcher (zibbles-idle), which
//   │                               shows this program with --fullscreen after a spell
//   │                               without input (hosts/saver/IdleLauncher.cpp)
//   ├── hasXDisplay                 a hack with no X display → exit 2 (it draws in an X window)
//   ├── catchQuitSignals            SIGINT, SIGTERM, SIGHUP set a flag (SDL's own handlers off)
//   ├── runOnWayland                a Wayland session (not a hack): the host's own Wayland
//   │                               client, no SDL or X11 call (hosts/saver/WaylandSaver.cpp)
//   ├── runHackOnXlib               a hack: the daemon's window (or the root window) through X
//   │                               shared memory, no SDL (X11HackLoop) → exit 0; where the
//   │                               display cannot share memory, on through SDL as below
//   ├── SDL_Init                    a hack: the x11 driver, then the host's own X error handlers
//   ├── openWindows                 a hack: the daemon's window (or the root window); else one
//   │                               window, or one full-screen window per display → exit 1
//   ├── makeEnvironment             monotonic clock, queue, random, screen, session, trace,
//   │                               status lines on stderr unless --quiet
//   ├── makeScreen (each window)    compositor target, "ZibblesBounceView" in a Window of the
//   │                               display's scale (a small window is a preview), --figure
//   ├── runSdlLoop                  start, draw what moves, sleep otherwise, stop → exit 0
//   └── teardown                    under a watchdog: the process ends within 2 s of the first
//                                   quit signal (else of the loop's end), whatever hangs
#include "hosts/common/HostEnvironment.h"
#include "hosts/common/HostOptions.h"
#include "hosts/common/ProcessSetup.h"
#include "hosts/common/VersionText.h"
#include "hosts/saver/HackOptions.h"
#include "hosts/saver/IdleLauncherStart.h"
#include "hosts/saver/SaverMemory.h"
#include "hosts/saver/sdl/SdlHackWindow.h"
#include "hosts/saver/sdl/SdlLoop.h"
#include "hosts/saver/wayland/WaylandSaver.h"
#include "hosts/saver/x11/X11HackLoop.h"
#include "platform/ViewRegistry.h"
#include "platform/sdl/DisplayScaleSdl2X11.h"

#include <SDL.h>

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <unistd.h>

namespace {

using namespace zibbles;
using namespace zibbles::host;

constexpr const char* kProgram = "zibbles";
// After a quit the host has this long to wind down before the process ends anyway: a daemon
// destroys its window as it sends SIGTERM, and a hack that hangs then is an orphan for good.
constexpr unsigned kQuitWatchdogSeconds = 2;

volatile std::sig_atomic_t quitRequested = 0;

// The watchdog counts from the first quit: a second signal, or the loop's end after a signal,
// must not put the end off again.
void armQuitWatchdog() {
    if (!quitRequested)
        alarm(kQuitWatchdogSeconds); // SIGALRM's default action ends the process
}

extern "C" void onQuitSignal(int) {
    armQuitWatchdog();
    quitRequested = 1;
}

void catchQuitSignals() {
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

struct SaverOptions {
    PixelSize window{1280, 720};
    bool windowGiven = false;
    bool fullscreen = false;
    double idleSeconds = 0; // 0: not the launcher
    std::optional<std::uint64_t> seed;
    std::optional<std::string> tracePath;
    bool noNetwork = false;
    std::optional<std::string> endpoint;
    std::optional<std::string> figurePath;
    bool fullRedraw = false;
    HackRequest hack;
    bool quiet = false;
    bool version = false;
    bool help = false;
};

std::vector<OptionRow> optionTable(SaverOptions& o) {
    return {
        {"--window", "WxH", "window size as the desktop counts it (default 1280x720)",
         [&o, size = setSize(o.window, "1280x720")](std::string_view value) {
             o.windowGiven = true;
             return size(value);
         }},
        {"--fullscreen", "", "full screen on every display; any key or click quits",
         setFlag(o.fullscreen)},
        {"--idle", "SECONDS", "stay resident; full screen after SECONDS without input, each time",
         setPositive(o.idleSeconds, 86400)},
        {"--root", "", "as a screen saver's hack: draw in $XSCREENSAVER_WINDOW, else the root",
         setFlag(o.hack.root)},
        {"-root", "", "", setFlag(o.hack.root)},
        {"--window-id", "ID", "as a screen saver's hack: draw in this X window (0x... or decimal)",
         setText(o.hack.windowIdText)},
        {"-window-id", "ID", "", setText(o.hack.windowIdText)},
        seedRow(o.seed),
        traceRow(o.tracePath),
        noNetworkRow(o.noNetwork),
        endpointRow(o.endpoint),
        figureRow(o.figurePath),
        {"--full-redraw", "", "paint and show every frame whole (to compare costs)",
         setFlag(o.fullRedraw)},
        quietRow(o.quiet),
        versionRow(o.version),
        helpRow(o.help),
        shortHelpRow(o.help),
    };
}

int fail(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n";
    return kExitFailed;
}

// Usage errors end the run, except in a hack: the daemon runs its command line as written and
// would only start the hack again, so a hack says what it skipped and goes on.
std::optional<int> parseCommandLine(int argc, char** argv, SaverOptions& options) {
    const auto problems = parseArgumentsLeniently(optionTable(options),
                                                  std::vector<std::string>(argv + 1, argv + argc));
    if (const char* variable = std::getenv(kHackWindowVariable); variable && *variable)
        options.hack.variable = variable;
    if (!options.hack.active()) {
        if (!problems.empty())
            return usageError(kProgram, problems.front());
        if (options.fullscreen && options.windowGiven)
            return usageError(kProgram, "--fullscreen and --window do not go together");
    }
    for (const std::string& problem : problems)
        std::cerr << kProgram << ": skipped: " << problem << "\n";
    if (options.help) {
        SaverOptions scratch;
        std::cout << usageText(std::string(kProgram) + " [OPTIONS]",
                               "Shows the saver in a window (Escape quits), full screen, or in "
                               "the window a screen-saver daemon gives it.",
                               optionTable(scratch));
        return kExitOk;
    }
    if (options.version) {
        std::cout << versionText(kProgram, BuildConstants::Shown);
        return kExitOk;
    }
    return std::nullopt;
}

std::vector<SDL_Window*> makeWindows(const SaverOptions& o) {
    std::vector<SDL_Window*> windows;
    if (!o.fullscreen) {
        const auto flags = SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI;
        if (SDL_Window* window = SDL_CreateWindow(
                "Zibbles", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED,
                static_cast<int>(o.window.width), static_cast<int>(o.window.height), flags))
            windows.push_back(window);
        return windows;
    }
    for (int display = 0; display < SDL_GetNumVideoDisplays(); ++display) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(display, &bounds) != 0)
            continue;
        const auto flags = SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_ALLOW_HIGHDPI;
        if (SDL_Window* window = SDL_CreateWindow(
                "Zibbles", SDL_WINDOWPOS_UNDEFINED_DISPLAY(display),
                SDL_WINDOWPOS_UNDEFINED_DISPLAY(display), bounds.w, bounds.h, flags))
            windows.push_back(window);
    }
    SDL_ShowCursor(SDL_DISABLE);
    return windows;
}

// The windows to draw in, or an error message.
std::vector<SDL_Window*> openWindows(const SaverOptions& o, std::string& error) {
    if (!o.hack.active()) {
        auto windows = makeWindows(o);
        if (windows.empty())
            error = std::string("SDL_CreateWindow: ") + SDL_GetError();
        return windows;
    }
    const HackChoice choice = chooseHackWindow(o.hack);
    if (!choice.window) {
        error = choice.error;
        return {};
    }
    AttachedWindow attached = attachHackWindow(*choice.window);
    if (!attached.window) {
        error = attached.error;
        return {};
    }
    return {attached.window};
}

double refreshRateOf(SDL_Window* window) {
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return 60.0;
}

// "ZibblesBounceView" in a Window of the display's scale, showing the --figure first if given.
std::shared_ptr<ZibblesBounceView> makeView(const platform::Environment& environment,
                                            const std::optional<LoadedZibble>& figure,
                                            platform::Size points, double scale, bool preview) {
    platform::ViewRegistry registry;
    registerZibblesBounceView(registry);
    auto view = std::dynamic_pointer_cast<ZibblesBounceView>(
        registry.make(ZibblesBounceView::className, environment, {{0, 0}, points}, preview));
    if (!view || !view->layer()) {
        fail("the view could not be made");
        return nullptr;
    }
    view->setWindow(std::make_shared<platform::Window>(scale));
    if (figure) {
        view->current = figure;
        view->refreshSprite();
    }
    return view;
}

std::optional<SdlScreen> makeScreen(SDL_Window* window, const platform::Environment& environment,
                                    const std::optional<LoadedZibble>& figure, bool hack) {
    const double scale = platform::displayScaleOf(window);
    SdlScreen screen;
    screen.window = window;
    std::string error;
    screen.target = platform::CompositorTargetSdl2::make(window, scale, error);
    if (!screen.target) {
        fail(error);
        return std::nullopt;
    }
    const auto& pixels = screen.target->framebuffer();
    const platform::Size points{static_cast<double>(pixels.width()) / scale,
                                static_cast<double>(pixels.height()) / scale};
    screen.view = makeView(environment, figure, points, scale,
                           hack && isPreviewSize(points.width, points.height));
    if (!screen.view)
        return std::nullopt;
    return screen;
}

SdlLoopSettings loopSettings(const SaverOptions& o, SDL_Window* firstWindow) {
    SdlLoopSettings settings;
    settings.quitOn = o.hack.active() ? QuitOn::WindowGone
                      : o.fullscreen  ? QuitOn::AnyInput
                                      : QuitOn::EscapeOrClose;
    settings.refreshRate = refreshRateOf(firstWindow);
    settings.redraw = o.fullRedraw ? Redraw::FullFrame : Redraw::Damaged;
    if (o.hack.active()) {
        settings.windowLost = xWindowLost;
        settings.isWindowGoneEvent = [firstWindow](const SDL_Event& event) {
            return isWindowDestroyedEvent(event, firstWindow);
        };
    }
    return settings;
}

// What every path of this host asks of the environment; the main screen's scale is the path's.
EnvironmentChoices environmentChoices(const SaverOptions& o) {
    return saverEnvironmentChoices(o, statusLinesOnStandardError(kProgram, o.quiet));
}

int finishRun(const LoopResult& result) {
    // The process must end now even if a request or the X server holds up the teardown.
    armQuitWatchdog();
    std::cerr << kProgram << ": " << result.framesPresented << " frames presented in "
              << result.seconds << " s\n";
    return result.exitCode;
}

// A hack straight on Xlib and X shared memory. Nothing when the display cannot share memory
// with this process (a remote server): the SDL path serves then.
std::optional<int> runHackOnXlib(const SaverOptions& o) {
    const HackChoice choice = chooseHackWindow(o.hack);
    if (!choice.window)
        return fail(choice.error);
    installXErrorHandlers();
    std::string error;
    const auto display = HackDisplay::open(*choice.window, error);
    if (!display)
        return fail(error);
    // A daemon may end a hack that is still starting: what is left of the start would be undone
    // at once, and under load costs more than the whole teardown.
    if (quitRequested)
        return finishRun(LoopResult{});
    HackScreen screen{display.get(), nullptr, nullptr, {}};
    screen.target = platform::CompositorTargetX11Shm::make(display->display(), display->window(),
                                                           display->scale(), error);
    if (!screen.target) {
        std::cerr << kProgram << ": " << error << "; drawing through SDL instead\n";
        return std::nullopt;
    }
    LoadedFigure loaded = loadFigureIfGiven(o.figurePath);
    if (!loaded.error.empty())
        return fail(loaded.error);
    EnvironmentChoices choices = environmentChoices(o);
    choices.mainScreenScale = display->scale();
    auto made = makeEnvironment(choices);
    if (!made.environment)
        return fail(made.error);
    const double scale = display->scale();
    const platform::Size points{static_cast<double>(display->size().width) / scale,
                                static_cast<double>(display->size().height) / scale};
    screen.view = makeView(*made.environment, loaded.figure, points, scale,
                           isPreviewSize(points.width, points.height));
    if (!screen.view)
        return kExitFailed;
    const HackLoopSettings settings{60.0, o.fullRedraw ? Redraw::FullFrame : Redraw::Damaged,
                                    made.environment->trace};
    const int status =
        finishRun(runX11HackLoop(*made.environment->mainQueue, screen, settings, quitRequested));
    screen.view.reset(); // before the services it was made with, as in the SDL path
    return status;
}

int run(const SaverOptions& o, const std::vector<SDL_Window*>& windows) {
    LoadedFigure loaded = loadFigureIfGiven(o.figurePath);
    if (!loaded.error.empty())
        return fail(loaded.error);
    std::optional<LoadedZibble> figure = std::move(loaded.figure);
    EnvironmentChoices choices = environmentChoices(o);
    choices.mainScreenScale = platform::displayScaleOf(windows.front());
    auto made = makeEnvironment(choices);
    if (!made.environment)
        return fail(made.error);

    std::vector<SdlScreen> screens;
    for (SDL_Window* window : windows) {
        auto screen = makeScreen(window, *made.environment, figure, o.hack.active());
        if (!screen)
            return kExitFailed;
        screens.push_back(std::move(*screen));
    }
    return finishRun(runSdlLoop(*made.environment->mainQueue, screens,
                                loopSettings(o, windows.front()), quitRequested));
}

int runOnWayland(const SaverOptions& o) {
    LoadedFigure loaded = loadFigureIfGiven(o.figurePath);
    if (!loaded.error.empty())
        return fail(loaded.error);
    WaylandSaverChoices choices;
    choices.window = o.window;
    choices.fullscreen = o.fullscreen;
    choices.redraw = o.fullRedraw ? Redraw::FullFrame : Redraw::Damaged;
    choices.environment = environmentChoices(o);
    choices.figure = std::move(loaded.figure);
    choices.onLoopEnd = [] { armQuitWatchdog(); };
    return runWaylandSaver(std::move(choices), quitRequested);
}

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

bool hasXDisplay() {
    return isSet("DISPLAY");
}

// A window or full screen needs somewhere to show. A chosen SDL driver (kmsdrm, offscreen) is
// the user's to judge; WAYLAND_SOCKET is the socket a locker hands its saver.
bool hasAnyDisplay() {
    return hasXDisplay() || isSet("WAYLAND_DISPLAY") || isSet("WAYLAND_SOCKET") ||
           isSet("SDL_VIDEODRIVER");
}

int runMain(int argc, char** argv) {
    SaverOptions options;
    if (const auto status = parseCommandLine(argc, argv, options))
        return *status;
    if (options.idleSeconds > 0)
        return options.hack.active() || options.windowGiven
                   ? usageError(kProgram, "--idle shows the saver full screen by itself: not as "
                                          "a hack, nor in a window")
                   : startIdleLauncher(options.idleSeconds, options.quiet, {argv + 1, argv + argc});
    if (options.hack.active() && !hasXDisplay()) {
        std::cerr
            << kProgram << ": --root, --window-id and " << kHackWindowVariable
            << " draw in an X window, and DISPLAY is not set (on Wayland, use --fullscreen)\n";
        return kExitUsage;
    }
    if (!options.hack.active() && !hasAnyDisplay())
        return fail("there is no display to open: neither DISPLAY nor WAYLAND_DISPLAY is set");

    catchQuitSignals();
    if (!options.hack.active() && wantsNativeWayland())
        return runOnWayland(options);
    if (options.hack.active())
        if (const auto status = runHackOnXlib(options))
            return *status;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface then uses the X server's shared memory and shows only what changed.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // A daemon's window is an X window, whatever else the session offers.
    if (options.hack.active()) {
        SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
        installXErrorHandlers();
    }
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return fail(std::string("SDL_Init: ") + SDL_GetError());
    if (options.hack.active())
        installXErrorHandlers();
    std::string error;
    const std::vector<SDL_Window*> windows = openWindows(options, error);
    const int status = windows.empty() ? fail(error) : run(options, windows);
    for (SDL_Window* window : windows)
        SDL_DestroyWindow(window);
    SDL_Quit();
    return status;
}

} // namespace

int main(int argc, char** argv) {
    zibbles::host::keepSaverMemoryFlat();
    const int status = zibbles::host::runProgram(kProgram, [&] { return runMain(argc, argv); });
    // The watchdog guards the host's wind-down, which is over: what is left is the C library's
    // exit, where a sanitizer build's leak check may take longer than the watchdog allows and
    // would otherwise turn a clean exit into SIGALRM.
    alarm(0);
    return status;
}

// zibbles: the desktop host. Shows the saver in a window of its own or full screen on every
// display.
//
// Flow of control:
//   main
//   ├── parseArguments              usage errors → exit 2, --help → exit 0
//   ├── catchQuitSignals            SIGINT, SIGTERM, SIGHUP set a flag (SDL's own handlers off)
//   ├── SDL_Init, makeWindows       one window, or one full-screen window per display → exit 1
//   ├── makeEnvironment             monotonic clock, queue, random, screen, session, trace
//   ├── makeScreen (each window)    compositor target, "ZibblesBounceView" in a Window of the
//   │                               display's scale, --figure shown at once
//   └── runSaverLoop                start, draw what moves, sleep otherwise, stop → exit 0

#include "hosts/DesktopLoop.h"
#include "hosts/HostEnvironment.h"
#include "hosts/HostOptions.h"
#include "platform/DisplayScaleSdl2X11.h"
#include "platform/ViewRegistry.h"

#include <SDL.h>

#include <csignal>
#include <iostream>
#include <unistd.h>

namespace {

using namespace zibbles;
using namespace zibbles::host;

constexpr const char* kProgram = "zibbles";
// After a quit signal the host has this long to wind down before the process ends anyway.
constexpr unsigned kQuitWatchdogSeconds = 2;

volatile std::sig_atomic_t quitRequested = 0;

extern "C" void onQuitSignal(int) {
    quitRequested = 1;
    alarm(kQuitWatchdogSeconds); // SIGALRM's default action ends the process
}

void catchQuitSignals() {
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

struct DesktopOptions {
    PixelSize window{1280, 720};
    bool fullscreen = false;
    std::optional<std::uint64_t> seed;
    std::optional<std::string> tracePath;
    bool noNetwork = false;
    std::optional<std::string> figurePath;
    bool help = false;
};

std::vector<OptionRow> optionTable(DesktopOptions& o) {
    using Error = std::optional<std::string>;
    auto flag = [](bool& target) {
        return [&target](std::string_view) -> Error {
            target = true;
            return std::nullopt;
        };
    };
    auto text = [](std::optional<std::string>& target) {
        return [&target](std::string_view v) -> Error {
            if (v.empty())
                return "needs a non-empty value";
            target = std::string(v);
            return std::nullopt;
        };
    };
    return {
        {"--window", "WxH", "window size as the desktop counts it (default 1280x720)",
         [&](std::string_view v) -> Error {
             auto size = parseSize(v);
             if (!size)
                 return "expected WxH, e.g. 1280x720";
             o.window = *size;
             return std::nullopt;
         }},
        {"--fullscreen", "", "full screen on every display; any key or click quits",
         flag(o.fullscreen)},
        {"--seed", "N", "seed the random source (default: from the OS)",
         [&](std::string_view v) -> Error {
             o.seed = parseSeed(v);
             return o.seed ? Error() : Error("expected a whole number from 0 to 2^64-1");
         }},
        {"--trace", "FILE", "write the platform's trace as JSON lines", text(o.tracePath)},
        {"--no-network", "", "fetch nothing", flag(o.noNetwork)},
        {"--figure", "FILE",
         "show this figure first (SVG, token URI, eth_call hex or JSON-RPC body)",
         text(o.figurePath)},
        {"--help", "", "show this text", flag(o.help)},
        {"-h", "", "", flag(o.help)},
    };
}

int fail(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n";
    return kExitFailed;
}

std::vector<SDL_Window*> makeWindows(const DesktopOptions& o) {
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

double refreshRateOf(SDL_Window* window) {
    SDL_DisplayMode mode;
    if (SDL_GetWindowDisplayMode(window, &mode) == 0 && mode.refresh_rate > 0)
        return mode.refresh_rate;
    return 60.0;
}

std::optional<SaverScreen> makeScreen(SDL_Window* window, const platform::Environment& environment,
                                      const std::optional<LoadedZibble>& figure) {
    const double scale = platform::displayScaleOf(window);
    SaverScreen screen;
    screen.window = window;
    std::string error;
    screen.target = platform::CompositorTargetSdl2::make(window, scale, error);
    if (!screen.target) {
        fail(error);
        return std::nullopt;
    }
    const auto& pixels = screen.target->framebuffer();
    platform::ViewRegistry registry;
    registerZibblesBounceView(registry);
    const platform::Rect frame{{0, 0},
                               {static_cast<double>(pixels.width()) / scale,
                                static_cast<double>(pixels.height()) / scale}};
    screen.view = std::dynamic_pointer_cast<ZibblesBounceView>(
        registry.make(ZibblesBounceView::className, environment, frame, false));
    if (!screen.view || !screen.view->layer()) {
        fail("the view could not be made");
        return std::nullopt;
    }
    screen.view->setWindow(std::make_shared<platform::Window>(scale));
    if (figure) {
        screen.view->current = figure;
        screen.view->refreshSprite();
    }
    return screen;
}

int run(const DesktopOptions& o, const std::vector<SDL_Window*>& windows) {
    std::optional<LoadedZibble> figure;
    if (o.figurePath) {
        auto loaded = loadFigure(*o.figurePath);
        if (!loaded.figure)
            return fail(loaded.error);
        figure = std::move(loaded.figure);
    }
    auto made = makeEnvironment({std::make_shared<platform::MonotonicClock>(), o.seed,
                                 platform::displayScaleOf(windows.front()),
                                 o.noNetwork ? Network::None : Network::Real, o.tracePath});
    if (!made.environment)
        return fail(made.error);

    std::vector<SaverScreen> screens;
    for (SDL_Window* window : windows) {
        auto screen = makeScreen(window, *made.environment, figure);
        if (!screen)
            return kExitFailed;
        screens.push_back(std::move(*screen));
    }
    const LoopSettings settings{o.fullscreen ? QuitOn::AnyInput : QuitOn::EscapeOrClose,
                                refreshRateOf(windows.front())};
    return runSaverLoop(*made.environment->mainQueue, screens, settings, quitRequested);
}

} // namespace

int main(int argc, char** argv) {
    DesktopOptions options;
    const auto error =
        parseArguments(optionTable(options), std::vector<std::string>(argv + 1, argv + argc));
    if (error) {
        std::cerr << kProgram << ": " << *error << "\nTry '" << kProgram << " --help'.\n";
        return kExitUsage;
    }
    if (options.help) {
        DesktopOptions scratch;
        std::cout << usageText(std::string(kProgram) + " [OPTIONS]",
                               "Shows the saver in a window (Escape quits) or full screen.",
                               optionTable(scratch));
        return kExitOk;
    }

    catchQuitSignals();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    // The window surface then uses the X server's shared memory and shows only what changed.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return fail(std::string("SDL_Init: ") + SDL_GetError());
    const std::vector<SDL_Window*> windows = makeWindows(options);
    int status = windows.empty() ? fail(std::string("SDL_CreateWindow: ") + SDL_GetError())
                                 : run(options, windows);
    for (SDL_Window* window : windows)
        SDL_DestroyWindow(window);
    SDL_Quit();
    return status;
}

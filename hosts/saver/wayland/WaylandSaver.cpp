// Flow of control:
//   runWaylandSaver
//   ├── WaylandConnection::connect  globals, outputs and their scales → exit 1 without them
//   ├── surfaceRole                 full screen: an overlay layer surface where the compositor
//   │                               offers the layer shell (ZIBBLES_WAYLAND_SHELL=xdg: never),
//   │                               else a full-screen xdg toplevel; a window: an xdg toplevel
//   ├── openWindows                 one window, or one full-screen surface per output
//   ├── awaitConfigure              round trips until the compositor has sized every window
//   ├── makeEnvironment             the main screen at the first window's scale
//   ├── makeScreen (each window)    buffers of the window's shape, "ZibblesBounceView", --figure
//   └── runWaylandLoop              start, draw what moves when the compositor shows it, follow
//                                   outputs that come and go (WaylandOutputViews), stop
#include "hosts/saver/wayland/WaylandSaver.h"

#include "hosts/saver/wayland/WaylandLoop.h"
#include "hosts/saver/wayland/WaylandOutputViews.h"
#include "platform/ViewRegistry.h"
#include "platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <cstdlib>
#include <iostream>
#include <string_view>

namespace zibbles::host {
namespace {

constexpr const char* kProgram = "zibbles";
// How many round trips a compositor gets to size every window before the host gives up.
constexpr int kConfigureRoundTrips = 50;

int fail(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n";
    return kExitFailed;
}

// The environment variable that keeps a full-screen saver an xdg toplevel ("xdg") even where the
// compositor offers the layer shell ("layer", the default).
constexpr const char* kShellVariable = "ZIBBLES_WAYLAND_SHELL";

// The role of the saver's surfaces, or nothing (said on stderr) when the compositor lacks its
// shell or the variable names none.
std::optional<platform::WaylandSurfaceRole> surfaceRole(const platform::WaylandConnection& c,
                                                        bool fullscreen) {
    const char* variable = std::getenv(kShellVariable);
    const std::string_view wanted = variable ? variable : "";
    if (wanted != "" && wanted != "layer" && wanted != "xdg") {
        fail(std::string(kShellVariable) + " must be 'layer' or 'xdg', not '" +
             std::string(wanted) + "'");
        return std::nullopt;
    }
    if (fullscreen && c.layerShell() && wanted != "xdg")
        return platform::WaylandSurfaceRole::OverlayLayer;
    if (!c.shell()) {
        fail(fullscreen ? "the Wayland compositor does not offer xdg_wm_base, which " +
                              std::string(kShellVariable) + "=xdg needs"
                        : std::string("the Wayland compositor does not offer xdg_wm_base, which "
                                      "a window needs (--fullscreen can use the layer shell)"));
        return std::nullopt;
    }
    return platform::WaylandSurfaceRole::Toplevel;
}

std::vector<std::unique_ptr<platform::WaylandWindow>>
openWindows(platform::WaylandConnection& connection, const WaylandSaverChoices& choices,
            platform::WaylandSurfaceRole role) {
    std::vector<std::unique_ptr<platform::WaylandWindow>> windows;
    platform::WaylandWindowRequest request;
    request.role = role;
    request.widthPoints = choices.window.width;
    request.heightPoints = choices.window.height;
    if (!choices.fullscreen) {
        windows.push_back(std::make_unique<platform::WaylandWindow>(connection, request));
        return windows;
    }
    for (const auto& output : connection.outputs()) {
        if (!output->ready)
            continue;
        request.output = output.get();
        windows.push_back(std::make_unique<platform::WaylandWindow>(connection, request));
    }
    return windows;
}

bool awaitConfigure(platform::WaylandConnection& connection,
                    const std::vector<std::unique_ptr<platform::WaylandWindow>>& windows) {
    for (int trip = 0; trip < kConfigureRoundTrips; ++trip) {
        bool all = true;
        for (const auto& window : windows)
            all = all && window->configured();
        if (all)
            return true;
        if (wl_display_roundtrip(connection.display()) < 0)
            return false;
    }
    return false;
}

std::optional<WaylandScreen> makeScreen(std::unique_ptr<platform::WaylandWindow> window,
                                        const platform::Environment& environment,
                                        const std::optional<LoadedZibble>& figure) {
    WaylandScreen screen;
    bool changed = false;
    std::string error;
    if (!window->followShape(changed, error)) {
        fail(error);
        return std::nullopt;
    }
    const platform::WaylandWindowShape shape = window->shape();
    const platform::Size points{static_cast<double>(shape.widthPoints),
                                static_cast<double>(shape.heightPoints)};
    platform::ViewRegistry registry;
    registerZibblesBounceView(registry);
    screen.view = std::dynamic_pointer_cast<ZibblesBounceView>(
        registry.make(ZibblesBounceView::className, environment, {{0, 0}, points}, false));
    if (!screen.view || !screen.view->layer()) {
        fail("the view could not be made");
        return std::nullopt;
    }
    screen.viewWindow = std::make_shared<platform::Window>(shape.scale());
    screen.view->setWindow(screen.viewWindow);
    if (figure) {
        screen.view->current = figure;
        screen.view->refreshSprite();
    }
    screen.window = std::move(window);
    return screen;
}

double refreshRateOf(const platform::WaylandConnection& connection) {
    for (const auto& output : connection.outputs())
        if (output->refreshMilliHz > 0)
            return output->refreshMilliHz / 1000.0;
    return 60.0;
}

} // namespace

bool wantsNativeWayland() {
    const char* display = std::getenv("WAYLAND_DISPLAY");
    const char* socket = std::getenv("WAYLAND_SOCKET");
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    return ((display && *display) || (socket && *socket)) && !(driver && *driver);
}

int runWaylandSaver(WaylandSaverChoices choices, const volatile std::sig_atomic_t& quitFlag) {
    std::string error;
    auto connection = platform::WaylandConnection::connect(error);
    if (!connection)
        return fail(error);
    if (choices.fullscreen && connection->outputs().empty())
        return fail("the Wayland compositor has no output to cover");
    const auto role = surfaceRole(*connection, choices.fullscreen);
    if (!role)
        return kExitFailed;
    auto windows = openWindows(*connection, choices, *role);
    if (windows.empty())
        return fail("the Wayland compositor has no output to cover");
    if (!awaitConfigure(*connection, windows))
        return fail("the Wayland compositor did not configure the saver's windows");

    choices.environment.mainScreenScale = windows.front()->shape().scale();
    auto made = makeEnvironment(choices.environment);
    if (!made.environment)
        return fail(made.error);
    std::vector<WaylandScreen> screens;
    for (auto& window : windows) {
        auto screen = makeScreen(std::move(window), *made.environment, choices.figure);
        if (!screen)
            return kExitFailed;
        screens.push_back(std::move(*screen));
    }
    platform::Trace* trace = made.environment->trace.get();
    WaylandOutputViews outputs(
        *connection, *role,
        [&](std::unique_ptr<platform::WaylandWindow> window) {
            return makeScreen(std::move(window), *made.environment, choices.figure);
        },
        trace);
    if (choices.fullscreen)
        outputs.opened(screens);
    const WaylandLoopSettings settings{
        choices.fullscreen ? QuitOn::AnyInput : QuitOn::EscapeOrClose, refreshRateOf(*connection),
        choices.redraw, choices.fullscreen ? &outputs : nullptr, trace};
    const LoopResult result =
        runWaylandLoop(*connection, *made.environment->mainQueue, screens, settings, quitFlag);
    if (choices.onLoopEnd)
        choices.onLoopEnd();
    std::cerr << kProgram << ": " << result.framesPresented << " frames presented in "
              << result.seconds << " s\n";
    return result.exitCode;
}

} // namespace zibbles::host

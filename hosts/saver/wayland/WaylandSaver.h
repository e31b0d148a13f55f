#pragma once

// The saver as a native Wayland client: a window of its own, or one full-screen view on every
// output (an overlay layer surface where the compositor offers the layer shell), drawn through
// shared memory with no X11 and no SDL call.

#include "Zibbles/LoadedZibble.h"
#include "hosts/common/HostEnvironment.h"
#include "hosts/common/HostOptions.h"
#include "hosts/common/PresentLoop.h"

#include <csignal>
#include <functional>
#include <optional>

namespace zibbles::host {

struct WaylandSaverChoices {
    PixelSize window{1280, 720}; // points, for a window of its own
    bool fullscreen = false;
    Redraw redraw = Redraw::Damaged;
    EnvironmentChoices environment; // the main screen's scale is the first output's
    std::optional<LoadedZibble> figure;
    // Called once the loop has ended, before the teardown (a watchdog for a teardown that hangs).
    std::function<void()> onLoopEnd;
};

// True when the session is Wayland's and the user has not chosen SDL's video driver
// (WAYLAND_DISPLAY or a locker's WAYLAND_SOCKET set, SDL_VIDEODRIVER unset or empty).
bool wantsNativeWayland();

// Main thread only. Runs the saver until input, the compositor or quitFlag ends it, and gives
// the exit code; failures are said on stderr in one line.
int runWaylandSaver(WaylandSaverChoices choices, const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

#pragma once

// The saver's SDL backend over windows that are already made: a window of its own, one per
// display in full screen, or a window that a screen-saver daemon hands over.

#include "Zibbles/ZibblesBounceView.h"
#include "hosts/common/PresentLoop.h"
#include "platform/Compositor.h"
#include "platform/sdl/CompositorTargetSdl2.h"

#include <csignal>
#include <functional>
#include <memory>
#include <vector>

struct SDL_Window;
union SDL_Event;

namespace zibbles::host {

// One window with its view.
using SdlScreen = WindowScreen<SDL_Window, platform::CompositorTargetSdl2>;

struct SdlLoopSettings {
    QuitOn quitOn = QuitOn::EscapeOrClose;
    double refreshRate = 60.0; // frames per second while something moves
    Redraw redraw = Redraw::Damaged;
    // Asked once per wake-up; true ends the loop as a quit (a daemon's window that is gone).
    std::function<bool()> windowLost;
    // Asked for each event; true ends the loop as a quit.
    std::function<bool(const SDL_Event&)> isWindowGoneEvent;
};

// Main thread only. The presenting loop over SDL windows: it sleeps in SDL_WaitEventTimeout
// (posts push an event) and ends on the settings' input or when quitFlag becomes non-zero.
LoopResult runSdlLoop(platform::MainQueue& queue, std::vector<SdlScreen>& screens,
                      const SdlLoopSettings& settings, const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

#pragma once

// The desktop host's main loop over windows that are already made: a window of its own, one
// per display in full screen, or a window that a screen-saver daemon hands over.

#include "Zibbles/ZibblesBounceView.h"
#include "platform/Compositor.h"
#include "platform/CompositorTargetSdl2.h"

#include <csignal>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

struct SDL_Window;
union SDL_Event;

namespace zibbles::host {

// One window with its view. The window is not owned.
struct SaverScreen {
    SDL_Window* window = nullptr;
    std::shared_ptr<ZibblesBounceView> view;
    std::unique_ptr<platform::CompositorTargetSdl2> target;
    platform::Compositor compositor;
};

enum class QuitOn {
    EscapeOrClose, // a window of its own: Escape, or closing it
    AnyInput,      // full screen: any key or click as well
    WindowGone,    // a daemon's window: input is the daemon's; only the window's end counts
};

enum class Redraw {
    Damaged,   // only what moved is painted and shown
    FullFrame, // every frame is painted and shown whole (for comparison)
};

struct LoopSettings {
    QuitOn quitOn = QuitOn::EscapeOrClose;
    double refreshRate = 60.0; // frames per second while something moves
    Redraw redraw = Redraw::Damaged;
    // Asked once per wake-up; true ends the loop as a quit (a daemon's window that is gone).
    std::function<bool()> windowLost;
    // Asked for each event; true ends the loop as a quit.
    std::function<bool(const SDL_Event&)> isWindowGoneEvent;
};

struct LoopResult {
    int exitCode = 0;
    std::uint64_t framesPresented = 0; // frames in which something was shown
    double seconds = 0.0;              // from the first frame to the stop
};

// Main thread only. Starts every view, draws at the refresh rate while something moves and
// sleeps otherwise (until input, a main-queue deadline or a post), and returns when asked to quit
// or when quitFlag becomes non-zero, after stopping every view.
LoopResult runSaverLoop(platform::MainQueue& queue, std::vector<SaverScreen>& screens,
                        const LoopSettings& settings, const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

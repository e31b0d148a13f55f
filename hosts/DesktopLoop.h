#pragma once

// The desktop host's main loop over windows that are already made: a window of its own, one
// per display in full screen, or (later) a window that a screen-saver daemon hands over.

#include "Zibbles/ZibblesBounceView.h"
#include "platform/Compositor.h"
#include "platform/CompositorTargetSdl2.h"

#include <csignal>
#include <memory>
#include <vector>

struct SDL_Window;

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
};

struct LoopSettings {
    QuitOn quitOn = QuitOn::EscapeOrClose;
    double refreshRate = 60.0; // frames per second while something moves
};

// Main thread only. Starts every view, draws at the refresh rate while something moves and
// sleeps otherwise (until input, a main-queue deadline or a post), and returns when asked to quit
// or when quitFlag becomes non-zero, after stopping every view. Gives the exit code.
int runSaverLoop(platform::MainQueue& queue, std::vector<SaverScreen>& screens,
                 const LoopSettings& settings, const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

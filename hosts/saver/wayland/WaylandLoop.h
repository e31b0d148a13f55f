#pragma once

// The saver's Wayland backend over windows that are already configured: one window of its own,
// or one full-screen surface per output, following the outputs as they come and go. Each
// surface presents when the compositor's frame callback says it is shown (WaylandFramePacing).

#include "Zibbles/ZibblesBounceView.h"
#include "hosts/common/PresentLoop.h"
#include "platform/Compositor.h"
#include "platform/Screen.h"
#include "platform/Trace.h"
#include "platform/wayland/WaylandConnection.h"
#include "platform/wayland/WaylandWindow.h"

#include <csignal>
#include <memory>
#include <vector>

namespace zibbles::host {

// One window with its view; the view's Window follows the output's scale.
struct WaylandScreen {
    std::unique_ptr<platform::WaylandWindow> window;
    std::shared_ptr<platform::Window> viewWindow;
    std::shared_ptr<ZibblesBounceView> view;
    platform::Compositor compositor;
    std::uint64_t commitsTraced = 0;
};

class WaylandOutputViews;

struct WaylandLoopSettings {
    QuitOn quitOn = QuitOn::EscapeOrClose; // AnyInput in full screen; WindowGone is not used
    double refreshRate = 60.0;             // frames per second while something moves
    Redraw redraw = Redraw::Damaged;
    WaylandOutputViews* outputs = nullptr; // full screen: views follow the outputs
    // "frame.presented" {width, height, output, scale} per commit: the buffer's size in device
    // pixels and the device pixels per point it was drawn at.
    platform::Trace* trace = nullptr;
};

// Main thread only. The presenting loop on a Wayland compositor: it sleeps in poll on the
// connection and the wake-up (past the frame grid while every surface awaits its frame
// callback, but never past a main-queue deadline), and ends when input or the compositor asks to
// quit or when quitFlag becomes non-zero. A lost connection or a frame that cannot be had ends it
// with kExitFailed, after one line on stderr.
LoopResult runWaylandLoop(platform::WaylandConnection& connection, platform::MainQueue& queue,
                          std::vector<WaylandScreen>& screens, const WaylandLoopSettings& settings,
                          const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

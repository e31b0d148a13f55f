#pragma once

// The saver's one presenting loop. Every backend (an SDL window, the X11 hack, the Wayland
// client) runs through it: it starts the views, runs the main queue, draws what moved on every
// screen on a grid of frames while something moves and looks for changes at each wake-up
// otherwise, and stops the views and clears the queue's wake hook at the end. A backend keeps
// only what is its own: how it waits (and so how it is paced), how it presents, and which input
// ends it.

#include "Zibbles/ZibblesBounceView.h"
#include "platform/Compositor.h"
#include "platform/CompositorTarget.h"
#include "platform/MainQueue.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace zibbles::host {

enum class QuitOn {
    EscapeOrClose, // a window of its own: Escape, or closing it
    AnyInput,      // full screen: any key or click as well
    WindowGone,    // a daemon's window: input is the daemon's; only the window's end counts
};

enum class Redraw {
    Damaged,   // only what moved is painted and shown
    FullFrame, // every frame is painted and shown whole (for comparison)
};

struct LoopResult {
    int exitCode = 0;
    std::uint64_t framesPresented = 0; // frames in which something was shown
    double seconds = 0.0;              // from the first frame to the stop
};

// One view on one screen, as the loop draws it.
struct ScreenParts {
    ZibblesBounceView& view;
    platform::Compositor& compositor;
    platform::CompositorTarget& target;
};

// A view on a screen whose presenter it owns, for the backends that make one per window (SDL,
// the X11 hack). Window is the backend's window, not owned.
template <class Window, class Target> struct WindowScreen {
    Window* window = nullptr;
    std::shared_ptr<ZibblesBounceView> view;
    std::unique_ptr<Target> target;
    platform::Compositor compositor;

    ScreenParts parts() { return {*view, compositor, *target}; }
};

// The frames of a loop: start + k × interval, on the main queue's clock.
struct FrameGrid {
    double start = 0.0;
    double interval = 1.0 / 60.0;
};

class PresentBackend {
  public:
    enum class Next { Continue, Quit, Fail };

    virtual ~PresentBackend() = default;

    // Main thread. The screens now shown.
    virtual std::size_t screenCount() const = 0;
    virtual ScreenParts screen(std::size_t index) = 0;
    // Whether anyone can see the screen now, as far as the backend knows (an output the
    // compositor stopped asking frames of, a window fully covered). One that cannot is not
    // painted, and its motion sets no pace; the next frame after it is seen again paints what
    // changed meanwhile.
    virtual bool seen(std::size_t /*index*/) { return true; }

    // What a post to the main queue does, from any thread, to wake the wait. It is not called
    // once the loop has ended.
    virtual std::function<void()> wakeHook() = 0;
    // Before each frame: what came since the last wait (a new size, the window's end).
    virtual Next beforeFrame() { return Next::Continue; }
    // When the frame after the one just drawn at now is due. By default the next grid point one
    // interval on, or one interval from now after the loop fell behind.
    virtual double frameAfter(const FrameGrid& grid, double planned, double now, bool moving);
    // A screen showed something.
    virtual void presented(std::size_t /*index*/,
                           const std::vector<platform::IntRect>& /*damage*/) {}
    // After each frame, drawn or not (a presenter that holds frames back sends them here).
    virtual void afterFrame() {}
    // Sleeps at most seconds, until input, the compositor, the X server or wake speaks, and
    // handles what came.
    virtual Next wait(double seconds, bool moving) = 0;
};

// Main thread only. Runs until the backend asks to quit or fails (kExitFailed) or quitFlag
// becomes non-zero.
LoopResult runPresentLoop(platform::MainQueue& queue, PresentBackend& backend, double refreshRate,
                          Redraw redraw, const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

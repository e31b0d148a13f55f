#pragma once

// The saver's X11 hack backend, straight on Xlib: the daemon's window (or the root window) drawn
// through X shared memory, with no SDL and no framebuffer of the whole screen.
// Implemented features:
//  [X] One wait per frame while the sprite moves (a timer on a 60 Hz grid of the monotonic clock
//      and the main queue's wake-up), and none at all while nothing moves but the main queue's
//      deadlines, posts, X events and a quarter-second look at the quit flag.
//  [X] No round trip per frame: the server's completion events are read at the next tick.
//  [X] Resizes, exposes and the window's end (StructureNotify, Exposure; never ButtonPress,
//      which the daemon holds).
//  [X] A window wholly covered (VisibilityNotify) is not painted until it is uncovered.
//  [X] A trace event per present, "frame.presented" {rects, pixels}, when a trace is written.
//  [ ] Several monitors of one X screen: the daemon gives one window and one process to each.

#include "hosts/common/HostOptions.h"
#include "hosts/common/PresentLoop.h"
#include "hosts/saver/HackOptions.h"
#include "platform/Trace.h"
#include "platform/x11/CompositorTargetX11Shm.h"

#include <csignal>
#include <functional>
#include <memory>
#include <string>

namespace zibbles::host {

// The hack's X connection and window. Closes the connection when it goes.
class HackDisplay {
  public:
    // Opens the display and looks at the window; on failure error says why (for people).
    static std::unique_ptr<HackDisplay> open(const HackWindow& which, std::string& error);
    ~HackDisplay();
    HackDisplay(const HackDisplay&) = delete;
    HackDisplay& operator=(const HackDisplay&) = delete;

    _XDisplay* display() const { return display_; }
    unsigned long window() const { return window_; } // an X window id
    PixelSize size() const { return size_; }
    // Device pixels per point: the server's Xft.dpi over 96, else 1.
    double scale() const { return scale_; }

  private:
    HackDisplay() = default;
    _XDisplay* display_ = nullptr;
    unsigned long window_ = 0;
    PixelSize size_;
    double scale_ = 1.0;
};

// The hack's one screen: its window, target and view.
using HackScreen = WindowScreen<HackDisplay, platform::CompositorTargetX11Shm>;

struct HackLoopSettings {
    double refreshRate = 60.0; // presents per second at most, on a grid of the clock
    Redraw redraw = Redraw::Damaged;
    std::shared_ptr<platform::Trace> trace; // may be null
};

// Main thread only. The presenting loop in the hack's window: it sleeps in ppoll on the wake-up
// (and the X connection while nothing moves), and ends when the window goes or quitFlag becomes
// non-zero.
LoopResult runX11HackLoop(platform::MainQueue& queue, HackScreen& screen,
                          const HackLoopSettings& settings,
                          const volatile std::sig_atomic_t& quitFlag);

} // namespace zibbles::host

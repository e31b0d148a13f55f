#include "hosts/saver/x11/X11HackLoop.h"

#include "hosts/common/LoopTiming.h"
#include "hosts/saver/WakeFd.h"
#include "hosts/saver/x11/X11Errors.h"
#include "platform/x11/XftDpi.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <poll.h>

namespace zibbles::host {
namespace {

std::string hexId(::Window window) {
    char hex[32];
    std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(window));
    return hex;
}

using Next = PresentBackend::Next;

// A new size: the view follows it in points, and the next frame repaints everything.
void windowResized(HackScreen& screen, std::int64_t width, std::int64_t height) {
    const auto bounds = screen.target->deviceBounds();
    if (bounds.width == width && bounds.height == height)
        return;
    screen.target->resize(width, height);
    const double scale = screen.target->scale();
    screen.view->setFrameSize(
        {static_cast<double>(width) / scale, static_cast<double>(height) / scale});
    screen.compositor.invalidate();
}

// What the hack's window is known to show, from the server's VisibilityNotify.
struct WindowSight {
    bool fullyCovered = false;
};

Next handle(const XEvent& event, HackScreen& screen, WindowSight& sight) {
    const ::Window window = screen.window->window();
    if (screen.target->takeCompletion(event))
        return Next::Continue;
    switch (event.type) {
    case VisibilityNotify:
        // Uncovered parts come with their Expose, which repaints them.
        if (event.xvisibility.window == window)
            sight.fullyCovered = event.xvisibility.state == VisibilityFullyObscured;
        return Next::Continue;
    case DestroyNotify:
        return event.xdestroywindow.window == window ? Next::Quit : Next::Continue;
    case ConfigureNotify:
        if (event.xconfigure.window == window)
            windowResized(screen, event.xconfigure.width, event.xconfigure.height);
        return Next::Continue;
    case Expose:
        screen.compositor.invalidate();
        return Next::Continue;
    default:
        return Next::Continue;
    }
}

// Handles every event that has come, without waiting for more.
Next handlePendingEvents(HackScreen& screen, WindowSight& sight) {
    Display* display = screen.window->display();
    Next next = Next::Continue;
    // One read of the connection per wake-up; handling may take a completion off the queue, so
    // the queue is asked again (without reading) before each event.
    XEventsQueued(display, QueuedAfterReading);
    while (XEventsQueued(display, QueuedAlready) > 0) {
        XEvent event;
        XNextEvent(display, &event);
        if (handle(event, screen, sight) == Next::Quit)
            next = Next::Quit;
    }
    return next;
}

// The most ticks between two presents of a slow sprite.
constexpr int kMostTicksPerStep = 4;

// Ticks from one present to the next: about one device pixel of motion each. A slow sprite (the
// preview's moves half a pixel a tick) then steps on both axes at once every other tick, rather
// than on one axis or the other at every tick, for the same motion at half the presents.
int ticksPerStep(const HackScreen& screen, double t, double interval) {
    // The tick before and the tick after: at a leg's end one of them shows the sprite standing.
    double fastest = 0.0; // device pixels per tick
    for (const auto& layer : screen.view->layer()->sublayers()) {
        const platform::Point before = layer->presentationFrame(t - interval).origin;
        const platform::Point now = layer->presentationFrame(t).origin;
        const platform::Point after = layer->presentationFrame(t + interval).origin;
        fastest = std::max({fastest, std::abs(now.x - before.x), std::abs(now.y - before.y),
                            std::abs(after.x - now.x), std::abs(after.y - now.y)});
    }
    fastest *= screen.target->scale();
    if (!(fastest > 0.0) || !std::isfinite(fastest))
        return 1;
    return static_cast<int>(std::clamp(std::round(1.0 / fastest), 1.0, double{kMostTicksPerStep}));
}

// The first tick of the grid start + k × interval that lies after now.
double tickAfter(double start, double interval, double now) {
    return start + (std::floor((now - start) / interval) + 1.0) * interval;
}

void tracePresent(platform::Trace* trace, const std::vector<platform::IntRect>& damage) {
    if (!trace)
        return;
    std::int64_t pixels = 0;
    for (const auto& rect : damage)
        pixels += rect.width * rect.height;
    trace->record("frame.presented", "\"rects\":" + std::to_string(damage.size()) +
                                         ",\"pixels\":" + std::to_string(pixels));
}

// Sleeps until the wake-up, a readable X connection (when asked for) or the timeout.
void waitFor(const WakeFd& wake, Display* display, bool watchConnection, double seconds) {
    pollfd fds[2] = {{wake.fd(), POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}};
    const double clamped = std::clamp(seconds, 0.0, kIdleWakeupSeconds);
    timespec timeout{static_cast<time_t>(clamped),
                     static_cast<long>((clamped - std::floor(clamped)) * 1e9)};
    if (ppoll(fds, watchConnection ? 2 : 1, &timeout, nullptr) > 0 && (fds[0].revents & POLLIN))
        wake.drain();
}

// The hack's one screen, presented on the clock's grid in whole-pixel steps, with a trace
// event per present.
class X11HackBackend final : public PollingBackend {
  public:
    X11HackBackend(HackScreen& screen, platform::Trace* trace) : screen_(screen), trace_(trace) {}

    std::size_t screenCount() const override { return 1; }
    ScreenParts screen(std::size_t) override { return screen_.parts(); }
    // A window wholly under others (where the server says so: a compositing manager makes every
    // window count as unobscured) is not painted; the X connection is then watched for the
    // notice that it is uncovered.
    bool seen(std::size_t) override { return !sight_.fullyCovered; }

    Next beforeFrame() override {
        return xWindowLost() ? Next::Quit : handlePendingEvents(screen_, sight_);
    }

    double frameAfter(const FrameGrid& grid, double, double now, bool moving) override {
        const double tick = tickAfter(grid.start, grid.interval, now);
        return moving ? tick + (ticksPerStep(screen_, now, grid.interval) - 1) * grid.interval
                      : tick;
    }

    void presented(std::size_t, const std::vector<platform::IntRect>& damage) override {
        tracePresent(trace_, damage);
    }

    // While moving, the tick reads the X events anyway: a completion then costs no wake-up.
    Next wait(double seconds, bool moving) override {
        waitFor(wake_, screen_.window->display(), !moving, seconds);
        return Next::Continue;
    }

  private:
    HackScreen& screen_;
    platform::Trace* trace_;
    WindowSight sight_;
};

} // namespace

std::unique_ptr<HackDisplay> HackDisplay::open(const HackWindow& which, std::string& error) {
    std::unique_ptr<HackDisplay> opened(new HackDisplay);
    opened->display_ = XOpenDisplay(nullptr);
    if (!opened->display_) {
        error = "cannot open the X display";
        return nullptr;
    }
    Display* display = opened->display_;
    opened->window_ = which.kind == HackWindowKind::Root ? DefaultRootWindow(display) : which.id;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, opened->window_, &attributes) || xWindowLost()) {
        error = "the X window " + hexId(opened->window_) + " cannot be used";
        return nullptr;
    }
    // This connection's own selection; the daemon's ButtonPress stays the daemon's.
    XSelectInput(display, opened->window_,
                 StructureNotifyMask | ExposureMask | VisibilityChangeMask);
    opened->size_ = {attributes.width, attributes.height};
    opened->scale_ = platform::xftScaleOf(XResourceManagerString(display));
    return opened;
}

HackDisplay::~HackDisplay() {
    if (display_)
        XCloseDisplay(display_);
}

LoopResult runX11HackLoop(platform::MainQueue& queue, HackScreen& screen,
                          const HackLoopSettings& settings,
                          const volatile std::sig_atomic_t& quitFlag) {
    X11HackBackend backend(screen, settings.trace.get());
    return runPresentLoop(queue, backend, settings.refreshRate, settings.redraw, quitFlag);
}

} // namespace zibbles::host

#include "hosts/saver/WaylandLoop.h"

#include "hosts/common/HostOptions.h"
#include "hosts/saver/LoopTiming.h"
#include "hosts/saver/WaylandQuitRules.h"
#include "platform/WaylandInput.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <iostream>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace zibbles::host {
namespace {

// The longest sleep while nothing moves: how late a signal's quit flag may be seen.

// Wakes the poll below from any thread: the main queue's posts (fetch results) write to it.
class WakeEvent {
  public:
    WakeEvent() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~WakeEvent() {
        if (fd_ >= 0)
            close(fd_);
    }
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    int fd() const { return fd_; }
    // Any thread.
    void post() const {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = write(fd_, &one, sizeof one);
    }
    void drain() const {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto read = ::read(fd_, &count, sizeof count);
    }

  private:
    int fd_;
};

enum class Next { Continue, Quit, Fail };

// A new size or scale: the view follows the window's size in points and the output's scale (the
// sprite takes the new scale at its next figure), and the next frame repaints everything.
bool followShapes(std::vector<WaylandScreen>& screens) {
    for (WaylandScreen& screen : screens) {
        bool changed = false;
        std::string error;
        if (!screen.window->followShape(changed, error)) {
            std::cerr << "zibbles: " << error << "\n";
            return false;
        }
        if (!changed)
            continue;
        const platform::WaylandWindowShape shape = screen.window->shape();
        screen.viewWindow->setBackingScaleFactor(shape.scale);
        screen.view->setFrameSize(
            {static_cast<double>(shape.widthPoints), static_cast<double>(shape.heightPoints)});
        screen.compositor.invalidate();
    }
    return true;
}

bool anythingMoves(const std::vector<WaylandScreen>& screens, double t) {
    for (const WaylandScreen& screen : screens)
        for (const auto& layer : screen.view->layer()->sublayers())
            if (layer->isAnimating(t))
                return true;
    return false;
}

bool closeRequested(const std::vector<WaylandScreen>& screens) {
    return std::any_of(screens.begin(), screens.end(),
                       [](const WaylandScreen& s) { return s.window->closeRequested(); });
}

// Paints and shows what changed on every screen. Gives true when anything was shown.
bool renderAll(std::vector<WaylandScreen>& screens, double now, Redraw redraw) {
    bool shown = false;
    for (WaylandScreen& screen : screens) {
        if (redraw == Redraw::FullFrame)
            screen.compositor.invalidate();
        auto& target = screen.window->target();
        shown = !screen.compositor.render(*screen.view->layer(), now, target).empty() || shown;
    }
    return shown;
}

// Sends what is queued, sleeps until the compositor or the wake event speaks or the time is up,
// and dispatches what came. False when the connection is gone.
bool waitForEvents(wl_display* display, const WakeEvent& wake, double seconds) {
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    if (wl_display_flush(display) < 0 && errno != EAGAIN) {
        wl_display_cancel_read(display);
        return false;
    }
    pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wake.fd(), POLLIN, 0}};
    const int ready = poll(fds, 2, static_cast<int>(std::ceil(seconds * 1000.0)));
    if (ready > 0 && (fds[0].revents & POLLIN)) {
        if (wl_display_read_events(display) < 0)
            return false;
    } else {
        wl_display_cancel_read(display);
    }
    if (ready > 0 && (fds[1].revents & POLLIN))
        wake.drain();
    if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP)) && !(fds[0].revents & POLLIN))
        return false;
    return wl_display_dispatch_pending(display) >= 0;
}

void presentWaiting(std::vector<WaylandScreen>& screens) {
    for (WaylandScreen& screen : screens)
        screen.window->target().presentWaiting();
}

} // namespace

LoopResult runWaylandLoop(platform::WaylandConnection& connection, platform::MainQueue& queue,
                          std::vector<WaylandScreen>& screens, const WaylandLoopSettings& settings,
                          const volatile std::sig_atomic_t& quitFlag) {
    WakeEvent wake;
    queue.setWakeHook([&wake] { wake.post(); });
    Next next = Next::Continue;
    const auto image = settings.quitOn == QuitOn::AnyInput ? platform::PointerImage::Hidden
                                                           : platform::PointerImage::Shown;
    platform::WaylandInput input(connection, image, [&](const platform::WaylandInputEvent& e) {
        if (isQuitInput(e, settings.quitOn))
            next = Next::Quit;
    });
    for (WaylandScreen& screen : screens)
        screen.view->startAnimation();

    LoopResult result;
    const double frameInterval = 1.0 / std::clamp(settings.refreshRate, 1.0, 1000.0);
    const double start = queue.now();
    double nextFrame = start;
    while (next == Next::Continue && !quitFlag) {
        if (closeRequested(screens))
            break;
        queue.runDueTasks();
        if (!followShapes(screens)) {
            next = Next::Fail;
            break;
        }
        const double now = queue.now();
        const bool moving = anythingMoves(screens, now);
        // As in the SDL loop: frames keep to the refresh grid while something moves; otherwise
        // every wake-up looks for changes, which costs nothing when there are none.
        if (!moving || now >= nextFrame) {
            const Redraw redraw = moving ? settings.redraw : Redraw::Damaged;
            result.framesPresented += renderAll(screens, now, redraw) ? 1 : 0;
            nextFrame = frameAfter(nextFrame, now, frameInterval);
        }
        presentWaiting(screens);
        if (!waitForEvents(connection.display(), wake,
                           secondsBeforeNextWake(queue, moving, nextFrame))) {
            std::cerr << "zibbles: the connection to the Wayland compositor was lost\n";
            next = Next::Fail;
        }
    }

    for (WaylandScreen& screen : screens)
        screen.view->stopAnimation();
    queue.setWakeHook(nullptr);
    result.seconds = queue.now() - start;
    result.exitCode = next == Next::Fail ? kExitFailed : kExitOk;
    return result;
}

} // namespace zibbles::host

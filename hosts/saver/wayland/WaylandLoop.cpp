#include "hosts/saver/wayland/WaylandLoop.h"

#include "hosts/common/LoopTiming.h"
#include "hosts/saver/WakeFd.h"
#include "hosts/saver/wayland/WaylandFramePacing.h"
#include "hosts/saver/wayland/WaylandOutputViews.h"
#include "hosts/saver/wayland/WaylandQuitRules.h"
#include "platform/wayland/WaylandInput.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <iostream>
#include <poll.h>

namespace zibbles::host {
namespace {

class WaylandBackend final : public PollingBackend {
  public:
    WaylandBackend(platform::WaylandConnection& connection, platform::MainQueue& queue,
                   std::vector<WaylandScreen>& screens, const WaylandLoopSettings& settings)
        : connection_(connection), queue_(queue), screens_(screens), outputs_(settings.outputs),
          trace_(settings.trace), quitOn_(settings.quitOn),
          input_(connection,
                 quitOn_ == QuitOn::AnyInput ? platform::PointerImage::Hidden
                                             : platform::PointerImage::Shown,
                 [this](const platform::WaylandInputEvent& e) {
                     if (isQuitInput(e, quitOn_))
                         quit_ = true;
                 }) {}

    std::size_t screenCount() const override { return screens_.size(); }
    ScreenParts screen(std::size_t i) override {
        return {*screens_[i].view, screens_[i].compositor, screens_[i].window->target()};
    }
    bool seen(std::size_t i) override { return !pacing_.unseen(screens_[i].window->target()); }

    Next beforeFrame() override {
        if (quit_ || std::any_of(screens_.begin(), screens_.end(),
                                 [](const WaylandScreen& s) { return s.window->closeRequested(); }))
            return Next::Quit;
        if (outputs_ && !outputs_->follow(screens_))
            return Next::Fail;
        for (WaylandScreen& screen : screens_)
            pacing_.follow(screen.window->target());
        return followShapes() ? Next::Continue : Next::Fail;
    }

    void afterFrame() override {
        for (WaylandScreen& screen : screens_) {
            auto& target = screen.window->target();
            target.presentWaiting();
            if (trace_ && target.framesCommitted() != screen.commitsTraced) {
                const platform::WaylandOutput* output =
                    connection_.outputNamed(screen.window->outputName());
                const auto& pixels = target.framebuffer();
                trace_->record("frame.presented",
                               "\"width\":" + std::to_string(pixels.width()) + ",\"height\":" +
                                   std::to_string(pixels.height()) + ",\"output\":" +
                                   platform::Trace::quote(output ? output->name : "") +
                                   ",\"scale\":" + platform::Trace::number(target.scale()));
            }
            screen.commitsTraced = target.framesCommitted();
        }
    }

    // While every surface awaits its callback, the next frame is due when one fires.
    double frameAfter(const FrameGrid& grid, double planned, double now, bool moving) override {
        return moving && allHeld() ? now : PresentBackend::frameAfter(grid, planned, now, moving);
    }

    // While every surface awaits its callback, what else comes (a buffer's release) is handled
    // without waking the loop: it goes on once a callback fires, a post or a signal comes, or
    // the time is up.
    Next wait(double seconds, bool) override {
        const double until = queue_.now() + secondsToWait(seconds);
        for (;;) {
            const Woken woken = waitForEvents(std::max(0.0, until - queue_.now()));
            if (woken == Woken::Lost) {
                std::cerr << "zibbles: the connection to the Wayland compositor was lost\n";
                return Next::Fail;
            }
            if (quit_)
                return Next::Quit;
            if (woken != Woken::Compositor || !allHeld() || queue_.now() >= until)
                return Next::Continue;
        }
    }

  private:
    enum class Woken { Compositor, Other, Lost }; // Other: a post, a signal or the time

    bool allHeld() const {
        return !screens_.empty() &&
               std::all_of(screens_.begin(), screens_.end(), [this](const WaylandScreen& s) {
                   return pacing_.held(s.window->target());
               });
    }

    // While every surface awaits its frame callback the grid is slept through: the callback
    // wakes the loop, and a main-queue deadline (a leg's end) or the fallback's check still
    // comes on time.
    double secondsToWait(double seconds) const {
        std::optional<double> fallback;
        for (const WaylandScreen& screen : screens_)
            if (const auto check = pacing_.secondsBeforeFallback(screen.window->target()))
                fallback = std::min(fallback.value_or(*check), *check);
        if (allHeld()) {
            seconds = kIdleWakeupSeconds;
            if (const auto deadline = queue_.nextDeadline())
                seconds = std::min(seconds, std::max(0.0, *deadline - queue_.now()));
        }
        return fallback ? std::min(seconds, *fallback) : seconds;
    }

    // A new size or scale: the view follows the window's size in points and the surface's scale,
    // and the next frame repaints everything. A new scale redraws the sprite at once, so that no
    // frame shows the figure of the old scale stretched to the new one.
    bool followShapes() {
        for (WaylandScreen& screen : screens_) {
            bool changed = false;
            std::string error;
            if (!screen.window->followShape(changed, error)) {
                std::cerr << "zibbles: " << error << "\n";
                return false;
            }
            if (!changed)
                continue;
            const platform::WaylandWindowShape shape = screen.window->shape();
            if (screen.viewWindow->backingScaleFactor() != shape.scale()) {
                screen.viewWindow->setBackingScaleFactor(shape.scale());
                screen.view->refreshSprite();
            }
            screen.view->setFrameSize(
                {static_cast<double>(shape.widthPoints), static_cast<double>(shape.heightPoints)});
            screen.compositor.invalidate();
        }
        return true;
    }

    // Sends what is queued, sleeps until the compositor or the wake-up speaks, a signal comes or
    // the time is up, and dispatches what came.
    Woken waitForEvents(double seconds) {
        wl_display* display = connection_.display();
        while (wl_display_prepare_read(display) != 0)
            if (wl_display_dispatch_pending(display) < 0)
                return Woken::Lost;
        if (wl_display_flush(display) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display);
            return Woken::Lost;
        }
        pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {wake_.fd(), POLLIN, 0}};
        const int ready = poll(fds, 2, static_cast<int>(std::ceil(seconds * 1000.0)));
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            if (wl_display_read_events(display) < 0)
                return Woken::Lost;
        } else {
            wl_display_cancel_read(display);
        }
        const bool posted = ready > 0 && (fds[1].revents & POLLIN);
        if (posted)
            wake_.drain();
        if (ready > 0 && (fds[0].revents & (POLLERR | POLLHUP)) && !(fds[0].revents & POLLIN))
            return Woken::Lost;
        if (wl_display_dispatch_pending(display) < 0)
            return Woken::Lost;
        return ready > 0 && !posted ? Woken::Compositor : Woken::Other;
    }

    platform::WaylandConnection& connection_;
    platform::MainQueue& queue_;
    std::vector<WaylandScreen>& screens_;
    WaylandOutputViews* outputs_;
    platform::Trace* trace_;
    QuitOn quitOn_;
    WaylandFramePacing pacing_;
    bool quit_ = false;
    platform::WaylandInput input_;
};

} // namespace

LoopResult runWaylandLoop(platform::WaylandConnection& connection, platform::MainQueue& queue,
                          std::vector<WaylandScreen>& screens, const WaylandLoopSettings& settings,
                          const volatile std::sig_atomic_t& quitFlag) {
    WaylandBackend backend(connection, queue, screens, settings);
    return runPresentLoop(queue, backend, settings.refreshRate, settings.redraw, quitFlag);
}

} // namespace zibbles::host

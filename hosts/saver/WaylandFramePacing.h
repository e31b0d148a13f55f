#pragma once

// When a Wayland view may present: after the compositor's frame callback for its last commit
// has fired, so that a hidden or powered-off output, whose callbacks the compositor holds back,
// costs nothing. Motion stays on the clock (every frame is drawn at the queue's now), so after a
// pause the sprite appears where the clock puts it.
//
// The fallback timer: a compositor that has answered no frame callback at all within
// kFrameCallbackPatienceSeconds of the first one asked for is taken for one that sends none,
// and its views then present on the loop's refresh grid alone, until a callback arrives after
// all. Once any callback has come, an unanswered one means "not shown" and is waited out.
// Main thread only.

#include "platform/CompositorTargetWayland.h"

#include <algorithm>
#include <optional>

namespace zibbles::host {

constexpr double kFrameCallbackPatienceSeconds = 1.0;

class WaylandFramePacing {
  public:
    // Learns from a target whether this compositor answers frame callbacks.
    void observe(const platform::CompositorTargetWayland& target) {
        if (target.frameSeen())
            callbacksSeen_ = true;
        else if (!callbacksSeen_ && target.secondsAwaitingFrame() >= kFrameCallbackPatienceSeconds)
            noCallbacks_ = true;
    }
    bool mayPresent(const platform::CompositorTargetWayland& target) const {
        return !target.awaitingFrame() || (noCallbacks_ && !callbacksSeen_);
    }
    // Seconds before the loop must look again to start the fallback, when it may have to.
    std::optional<double>
    secondsBeforeFallback(const platform::CompositorTargetWayland& target) const {
        if (callbacksSeen_ || noCallbacks_ || !target.awaitingFrame())
            return std::nullopt;
        return std::max(0.0, kFrameCallbackPatienceSeconds - target.secondsAwaitingFrame());
    }

  private:
    bool callbacksSeen_ = false;
    bool noCallbacks_ = false;
};

} // namespace zibbles::host

#pragma once

// When a Wayland view presents: once the compositor's frame callback for its last commit has
// fired (the target holds new damage until then), so that a hidden or powered-off output, whose
// callbacks the compositor holds back, costs nothing. Motion stays on the clock: every frame is
// drawn at the queue's now, so after a pause the sprite appears where the clock puts it.
//
// The fallback timer: a compositor that has answered no frame callback at all within
// kFrameCallbackPatienceSeconds of the first one asked for is taken for one that sends none.
// Its views then present on the loop's refresh grid alone, until a callback comes after all.
// Once any callback has come, an unanswered one means "not shown" and is waited out; one
// unanswered for longer than kUnseenAfterSeconds (a shown output answers within a refresh) marks
// a surface nobody sees, which is then not painted at all until its callback comes.
// Main thread only.

#include "platform/wayland/CompositorTargetWayland.h"

#include <algorithm>
#include <optional>

namespace zibbles::host {

constexpr double kFrameCallbackPatienceSeconds = 1.0;
constexpr double kUnseenAfterSeconds = 0.1;

class WaylandFramePacing {
  public:
    // Learns from the target whether this compositor answers frame callbacks, and paces it so.
    void follow(platform::CompositorTargetWayland& target) {
        if (target.frameSeen())
            callbacksSeen_ = true;
        else if (target.secondsAwaitingFrame() >= kFrameCallbackPatienceSeconds)
            noCallbacks_ = true;
        target.setPacedByFrames(!fallback());
    }
    // The target shows nothing until its callback fires.
    bool held(const platform::CompositorTargetWayland& target) const {
        return !fallback() && target.awaitingFrame();
    }
    // An output switched away, covered or dark: its callback is held back past any refresh.
    bool unseen(const platform::CompositorTargetWayland& target) const {
        return callbacksSeen_ && target.secondsAwaitingFrame() >= kUnseenAfterSeconds;
    }
    // Seconds before the fallback may have to start, when it may.
    std::optional<double>
    secondsBeforeFallback(const platform::CompositorTargetWayland& target) const {
        if (callbacksSeen_ || noCallbacks_ || !target.awaitingFrame())
            return std::nullopt;
        return std::max(0.0, kFrameCallbackPatienceSeconds - target.secondsAwaitingFrame());
    }

  private:
    bool fallback() const { return noCallbacks_ && !callbacksSeen_; }
    bool callbacksSeen_ = false;
    bool noCallbacks_ = false;
};

} // namespace zibbles::host

#pragma once

// When a host's loop wakes next: the next frame while something moves, else the next main-queue
// deadline, and at least this often so that input and signals are looked at. Main thread only.

#include "platform/MainQueue.h"

#include <algorithm>

namespace zibbles::host {

constexpr double kIdleWakeupSeconds = 0.25;

// Seconds to sleep before the next frame (nextFrame, on the queue's clock) or the next deadline.
inline double secondsBeforeNextWake(const platform::MainQueue& queue, bool moving,
                                    double nextFrame) {
    const double now = queue.now();
    double wake = moving ? nextFrame : now + kIdleWakeupSeconds;
    if (const auto deadline = queue.nextDeadline())
        wake = std::min(wake, *deadline);
    return std::max(0.0, wake - now);
}

// The frame after the one drawn at now: one interval after the last while the loop keeps up, one
// interval from now after it fell behind, so that a late frame is not followed by a burst.
inline double frameAfter(double nextFrame, double now, double interval) {
    return nextFrame + interval > now ? nextFrame + interval : now + interval;
}

} // namespace zibbles::host

#include "Zibbles/ZibblesBounceView.h"

namespace zibbles {

namespace {

// Seconds between a failed fetch and the top-up that replaces it.
constexpr double retryDelay = 1.5;

} // namespace

// Main thread only. With nothing on show yet the supply aims one higher, because the first token
// to arrive goes on show instead of into the queue.
void ZibblesBounceView::topUpQueue() {
    const auto missing = queueTarget + (current ? 0 : 1) - static_cast<std::int64_t>(queue.size()) -
                         static_cast<std::int64_t>(pending.size());
    for (std::int64_t i = 0; i < missing; ++i)
        fetchOne();
}

// Main thread only. An outcome for an id that stopAnimation already gave up is filed like any
// other: only a cancellation ends here without consequence.
void ZibblesBounceView::finishFetch(TokenId tokenId, std::optional<LoadedZibble> loaded,
                                    std::optional<platform::HttpError> error) {
    inflightTasks.erase(tokenId);
    pending.erase(tokenId);
    if (error && error->is(platform::HttpErrorCode::Cancelled))
        return;
    if (!loaded) {
        retryLater();
        return;
    }
    if (!current || wantsSwap) {
        wantsSwap = false;
        current = std::move(loaded);
        refreshSprite();
    } else if (static_cast<std::int64_t>(queue.size()) < queueTarget) {
        queue.push_back(std::move(*loaded));
    }
    topUpQueue();
}

// Main thread only. The retry draws fresh ids; it does not ask for the failed one again.
// One retry waits at a time, due 1.5 s after the latest failure: every failure still waits its
// full 1.5 s, but failures that come while a retry waits join it. A retry per failure would let a
// server that fails fast multiply the requests, since each retry refills every missing place and
// each refill that fails schedules retries of its own.
void ZibblesBounceView::retryLater() {
    const bool waiting = retryDueAt.has_value();
    retryDueAt = environment().mainQueue->now() + retryDelay;
    if (!waiting)
        scheduleRetry(retryDelay);
}

// Main thread only. The work holds the view weakly and does nothing once it is gone.
void ZibblesBounceView::scheduleRetry(double delaySeconds) {
    std::weak_ptr<ZibblesBounceView> view =
        std::static_pointer_cast<ZibblesBounceView>(shared_from_this());
    environment().mainQueue->asyncAfter(delaySeconds, [view] {
        if (const auto strong = view.lock())
            strong->retryDue();
    });
}

// Main thread only. A failure since the retry was scheduled moved it later: wait out the rest.
void ZibblesBounceView::retryDue() {
    const double now = environment().mainQueue->now();
    if (retryDueAt && *retryDueAt > now) {
        scheduleRetry(*retryDueAt - now);
        return;
    }
    retryDueAt.reset();
    topUpQueue();
}

} // namespace zibbles

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
void ZibblesBounceView::retryLater() {
    auto self = std::static_pointer_cast<ZibblesBounceView>(shared_from_this());
    std::weak_ptr<ZibblesBounceView> view = self;
    environment().mainQueue->asyncAfter(retryDelay, [view] {
        if (const auto strong = view.lock())
            strong->topUpQueue();
    });
}

} // namespace zibbles

#include "Zibbles/ZibblesBounceView.h"
#include "Zibbles/supply/Endpoint.h"
#include "Zibbles/supply/FetchCompletion.h"
#include "Zibbles/supply/RpcRequest.h"
#include "Zibbles/supply/TokenChoice.h"

namespace zibbles {

namespace {

// Ids that must not be fetched again now: under way, queued or on show.
std::set<TokenId> avoidedTokenIds(const ZibblesBounceView& view) {
    std::set<TokenId> avoid = view.pending;
    for (const LoadedZibble& queued : view.queue)
        avoid.insert(queued.tokenId);
    if (view.current)
        avoid.insert(view.current->tokenId);
    return avoid;
}

} // namespace

// Main thread only. Returns at once; the outcome reaches finishFetch through the main queue.
void ZibblesBounceView::fetchOne() {
    const platform::Environment& env = environment();
    const TokenId tokenId = chooseTokenId(*env.random, avoidedTokenIds(*this));
    pending.insert(tokenId);

    std::string url =
        env.endpointOverride.empty() ? std::string(Endpoint::rpcURL()) : env.endpointOverride;
    // Without a session, or with an endpoint that is no URL, nothing can ever be fetched, so the
    // id is given back and no retry is scheduled.
    if (!env.session || !platform::isValidURL(url)) {
        pending.erase(tokenId);
        return;
    }
    const double timeout =
        env.requestTimeoutOverride > 0.0 ? env.requestTimeoutOverride : tokenRequestTimeout;
    FetchRequestFacts facts{url, timeout};
    auto request = tokenUriRequest(tokenId, std::move(url), Endpoint::contractAddress(), timeout);
    auto self = std::static_pointer_cast<ZibblesBounceView>(shared_from_this());
    auto task = env.session->dataTask(
        std::move(request),
        makeFetchCompletion(self, tokenId, env.mainQueue, std::move(facts), env.fetchObserver));
    inflightTasks[tokenId] = task;
    task->resume();
}

} // namespace zibbles

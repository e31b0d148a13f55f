#include "hosts/inspect/InspectChainClient.h"

#include "Zibbles/supply/RpcRequest.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>

namespace zibbles::inspect {

namespace {

// Answers that arrived ahead of an earlier, slower one wait to be handed over in order; starting
// at most this far ahead of the oldest one not handed over bounds how many wait.
constexpr std::size_t maximumAhead = 64;

using Clock = std::chrono::steady_clock;

} // namespace

// Written by the session's thread (completions) and the main thread, under the mutex. Completions
// hold it, so it outlives any that runs late.
struct ChainClient::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::map<std::size_t, TokenAnswer> arrived; // by index into the ids
    std::map<std::size_t, std::shared_ptr<platform::DataTask>> underWay;
    bool stopping = false;
};

ChainClient::ChainClient(std::shared_ptr<platform::HttpSession> session, ChainTarget target)
    : session_(std::move(session)), target_(std::move(target)),
      shared_(std::make_shared<Shared>()) {}

ChainClient::~ChainClient() = default;

void ChainClient::stop() {
    const std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->changed.notify_all();
}

// Called without the lock: a session that is gone completes at once, on this thread.
void ChainClient::start(std::size_t index, TokenId tokenId) {
    const auto started = Clock::now();
    auto request = tokenUriRequest(tokenId, target_.url, target_.contract, tokenRequestTimeout);
    auto task = session_->dataTask(
        std::move(request),
        [shared = shared_, index, tokenId, started](std::optional<std::string> body,
                                                    std::optional<platform::HttpResponse> response,
                                                    std::optional<platform::HttpError> error) {
            const std::chrono::duration<double> took = Clock::now() - started;
            const std::lock_guard lock(shared->mutex);
            shared->underWay.erase(index);
            const bool stopped = error && error->is(platform::HttpErrorCode::Cancelled);
            if (!stopped)
                shared->arrived[index] =
                    TokenAnswer{tokenId, std::move(body), response, std::move(error), took.count()};
            shared->changed.notify_all();
        });
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->underWay[index] = task;
    }
    task->resume();
}

bool ChainClient::askAll(const std::vector<TokenId>& ids,
                         const std::function<void(TokenAnswer)>& onAnswer) {
    std::size_t next = 0, handed = 0;
    std::unique_lock lock(shared_->mutex);
    while (handed < ids.size() && !shared_->stopping) {
        if (next < ids.size() && next < handed + maximumAhead &&
            shared_->underWay.size() < maximumInFlight) {
            lock.unlock();
            start(next, ids[next]);
            ++next;
            lock.lock();
        } else if (const auto ready = shared_->arrived.find(handed);
                   ready != shared_->arrived.end()) {
            TokenAnswer answer = std::move(ready->second);
            shared_->arrived.erase(ready);
            ++handed;
            lock.unlock();
            onAnswer(std::move(answer));
            lock.lock();
        } else {
            shared_->changed.wait(lock);
        }
    }
    if (handed == ids.size())
        return true;
    // Stopped: what is under way is given up, and what had arrived is handed over.
    for (const auto& [index, task] : shared_->underWay)
        task->cancel();
    shared_->changed.wait(lock, [&] { return shared_->underWay.empty(); });
    std::map<std::size_t, TokenAnswer> rest = std::move(shared_->arrived);
    lock.unlock();
    for (auto& [index, answer] : rest)
        onAnswer(std::move(answer));
    return false;
}

} // namespace zibbles::inspect

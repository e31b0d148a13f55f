#include "hosts/inspect/InspectChainClient.h"

#include "Zibbles/supply/RpcRequest.h"
#include "hosts/inspect/InspectRetry.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <random>

namespace zibbles::inspect {

namespace {

// Answers that arrived ahead of an earlier, slower one wait to be handed over in order; starting
// at most this far ahead of the oldest one not handed over bounds how many wait.
constexpr std::size_t maximumAhead = 64;
// How often the state is told while ids wait and nothing else happens.
constexpr auto waitingStateInterval = std::chrono::milliseconds(200);

using Clock = std::chrono::steady_clock;

struct Finished {
    std::size_t index = 0;
    RequestPacer::Ticket ticket; // the pacer's
    TokenAnswer answer;
    std::optional<host::Refusal> refusal;
};

} // namespace

// Written by the session's thread (completions) and the main thread, under the mutex. Completions
// hold it, so it outlives any that runs late.
struct ChainClient::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Finished> finished; // not yet looked at by the main thread
    std::map<std::size_t, std::shared_ptr<platform::DataTask>> underWay;
    bool stopping = false;
};

// One askAll's own bookkeeping: main thread only, no lock.
struct ChainClient::Asking {
    explicit Asking(std::size_t count) : tries(count, 0), refusals(count, 0) {}

    std::vector<int> tries, refusals;                  // per id
    std::map<std::size_t, TokenAnswer> ready;          // by index, to be handed over in order
    std::multimap<Clock::time_point, std::size_t> due; // refused ids and when to ask them again
    RequestPacer pacer;
    std::minstd_rand random{std::random_device{}()};
    Clock::time_point began = Clock::now();

    double secondsAt(Clock::time_point t) const {
        return std::chrono::duration<double>(t - began).count();
    }
    Clock::time_point pointAt(double seconds) const {
        return began +
               std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    }

    void settle(std::size_t index, TokenAnswer answer) {
        answer.refusals = refusals[index];
        ready[index] = std::move(answer);
    }

    // Files what a request brought: ready to hand over, or to be asked again.
    void file(Finished finished, AskingState& state) {
        const std::size_t index = finished.index;
        if (!finished.refusal) {
            pacer.answered(finished.ticket);
            settle(index, std::move(finished.answer));
            return;
        }
        ++state.refused;
        if (refusals[index]++ == 0)
            ++state.refusedTokens;
        pacer.refused(finished.ticket);
        const double unit = std::uniform_real_distribution<double>(0.0, 1.0)(random);
        const std::chrono::duration<double> wait(
            retryWait(*finished.refusal, refusals[index], unit));
        if (tries[index] < maximumTries) {
            due.emplace(Clock::now() + std::chrono::duration_cast<Clock::duration>(wait), index);
            return;
        }
        finished.answer.refusedEveryTry = std::move(finished.refusal->words);
        settle(index, std::move(finished.answer));
    }

    void describe(AskingState& state) const {
        const auto now = Clock::now();
        state.concurrency = maximumInFlight;
        state.pacedPerSecond = pacer.paced() ? 1.0 / pacer.gapSeconds() : 0.0;
        state.waiting = due.size();
        state.nextTryInSeconds =
            due.empty()
                ? 0.0
                : std::max(std::chrono::duration<double>(due.begin()->first - now).count(), 0.0);
        state.seconds = std::chrono::duration<double>(now - began).count();
    }
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

AskingState ChainClient::state() const {
    return state_;
}

// Called without the lock: a session that is gone completes at once, on this thread.
void ChainClient::start(std::size_t index, TokenId tokenId, RequestPacer::Ticket ticket) {
    const auto started = Clock::now();
    auto request = tokenUriRequest(tokenId, target_.url, target_.contract, tokenRequestTimeout);
    auto task =
        session_->dataTask(std::move(request), [shared = shared_, index, ticket, tokenId, started](
                                                   std::optional<std::string> body,
                                                   std::optional<platform::HttpResponse> response,
                                                   std::optional<platform::HttpError> error) {
            const std::chrono::duration<double> took = Clock::now() - started;
            const bool stopped = error && error->is(platform::HttpErrorCode::Cancelled);
            std::optional<host::Refusal> refusal;
            if (!stopped && body && response)
                refusal = host::refusalOf(*response, *body, std::chrono::system_clock::now());
            const std::lock_guard lock(shared->mutex);
            shared->underWay.erase(index);
            if (!stopped)
                shared->finished.push_back(
                    Finished{index, ticket,
                             TokenAnswer{tokenId, std::move(body), std::move(response),
                                         std::move(error), took.count(), 0, std::nullopt},
                             std::move(refusal)});
            shared->changed.notify_all();
        });
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->underWay[index] = task;
    }
    task->resume();
}

bool ChainClient::askAll(const std::vector<TokenId>& ids,
                         const std::function<void(TokenAnswer)>& onAnswer,
                         const std::function<void(const AskingState&)>& onState) {
    Asking asking(ids.size());
    state_ = AskingState{};
    const auto tell = [&] {
        asking.describe(state_);
        if (onState)
            onState(state_);
    };
    const auto ask = [&](std::size_t index) {
        if (asking.tries[index]++ > 0)
            ++state_.retried;
        ++state_.requests;
        start(index, ids[index], asking.pacer.sent(asking.secondsAt(Clock::now())));
    };
    std::size_t next = 0, handed = 0;
    std::unique_lock lock(shared_->mutex);
    while (handed < ids.size() && !shared_->stopping) {
        const auto now = Clock::now();
        // Requests start no faster than the pace learnt from the endpoint's refusals
        // (InspectPacing.h), at most eight under way. A refused id waits what its refusal asked
        // for (or its backoff) while other ids go on at that pace, so that an endpoint that
        // refuses at once is neither outrun nor left idle.
        const auto paceAllows = asking.pointAt(asking.pacer.nextStart());
        const bool room = shared_->underWay.size() < maximumInFlight && now >= paceAllows;
        const bool newRoom = next < ids.size() && next < handed + maximumAhead;
        if (!shared_->finished.empty()) {
            std::vector<Finished> batch = std::move(shared_->finished);
            shared_->finished.clear();
            lock.unlock();
            const std::size_t waitingBefore = asking.due.size();
            for (Finished& finished : batch)
                asking.file(std::move(finished), state_);
            if (asking.due.size() != waitingBefore)
                tell();
            lock.lock();
        } else if (room && !asking.due.empty() && asking.due.begin()->first <= now) {
            // An id asked again goes before new ones: the oldest answers are handed over first.
            const std::size_t index = asking.due.begin()->second;
            asking.due.erase(asking.due.begin());
            lock.unlock();
            ask(index);
            tell();
            lock.lock();
        } else if (room && newRoom) {
            lock.unlock();
            ask(next++);
            lock.lock();
        } else if (const auto ready = asking.ready.find(handed); ready != asking.ready.end()) {
            TokenAnswer answer = std::move(ready->second);
            asking.ready.erase(ready);
            ++handed;
            lock.unlock();
            onAnswer(std::move(answer));
            lock.lock();
        } else {
            // Woken by a request that finishes, else when the pace or a waiting id allows the
            // next start, and a few times a second while ids wait, for the progress line.
            std::optional<Clock::time_point> wake;
            if (shared_->underWay.size() < maximumInFlight) {
                if (!asking.due.empty())
                    wake = std::max(asking.due.begin()->first, paceAllows);
                if (newRoom)
                    wake = std::min(wake.value_or(paceAllows), paceAllows);
            }
            if (!asking.due.empty())
                wake =
                    std::min(wake.value_or(now + waitingStateInterval), now + waitingStateInterval);
            if (!wake) {
                shared_->changed.wait(lock);
                continue;
            }
            shared_->changed.wait_until(lock, *wake);
            lock.unlock();
            tell();
            lock.lock();
        }
    }
    if (handed == ids.size()) {
        lock.unlock();
        asking.describe(state_);
        return true;
    }
    // Stopped: what is under way is given up, so are the ids waiting to be asked again, and what
    // had arrived is handed over.
    for (const auto& [index, task] : shared_->underWay)
        task->cancel();
    shared_->changed.wait(lock, [&] { return shared_->underWay.empty(); });
    std::vector<Finished> rest = std::move(shared_->finished);
    shared_->finished.clear();
    lock.unlock();
    for (Finished& finished : rest)
        if (!finished.refusal)
            asking.settle(finished.index, std::move(finished.answer));
    asking.due.clear();
    asking.describe(state_);
    for (auto& [index, answer] : asking.ready)
        onAnswer(std::move(answer));
    return false;
}

} // namespace zibbles::inspect

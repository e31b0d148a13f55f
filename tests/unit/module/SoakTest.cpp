// A day of running against a server that fails one request in three, on virtual time with the
// real curl session: the supply's invariants hold after every step of the main queue, failures
// are retried 1.5 s later but never more than once each, figures keep changing, and memory stays
// flat.
// ZIBBLES_SOAK_HOURS shortens the day (sanitizer runs); it defaults to 24.

#include "Zibbles/ZibblesBounceView.h"
#include "Zibbles/supply/FetchCompletion.h"
#include "hosts/saver/SaverMemory.h"
#include "platform/curl/HttpSessionCurl.h"
#include "tests/support/HostileServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TokenFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>

namespace zibbles {
namespace {

using namespace std::chrono_literals;
using platform::HttpErrorCode;
using testing::Misbehaviour;
using testing::Reply;

constexpr platform::Rect fullScreen{{0, 0}, {1920, 1080}};
constexpr double hour = 3600.0;
constexpr double retryDelay = 1.5;
constexpr double restartEvery = 6 * hour; // stop and start again, cancelling what is in flight
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocators hold freed blocks back, so resident memory measures them, not the
// saver; their own leak checks stand in.
constexpr bool memoryIsMeasurable = false;
#else
constexpr bool memoryIsMeasurable = true;
#endif
// The resident figures are the saver's, so the process runs under the saver's allocator policy.
[[maybe_unused]] const bool saverMemory = (host::keepSaverMemoryFlat(), true);

double soakHours() {
    const char* text = std::getenv("ZIBBLES_SOAK_HOURS");
    const double hours = text ? std::atof(text) : 24.0;
    return hours > 0.0 ? hours : 24.0;
}

// The outcomes of every fetch, told apart as the view tells them apart, counted on the
// session's thread before the view hears of them.
struct Outcomes {
    std::atomic<std::size_t> started{0};
    std::atomic<std::size_t> decoded{0};
    std::atomic<std::size_t> failed{0};
    std::atomic<std::size_t> cancelled{0};
    std::size_t completed() const { return decoded + failed + cancelled; }
};

class CountingSession final : public platform::HttpSession {
  public:
    CountingSession(std::shared_ptr<platform::HttpSession> inner, Outcomes& outcomes)
        : inner_(std::move(inner)), outcomes_(outcomes) {}

    std::shared_ptr<platform::DataTask> dataTask(platform::HttpRequest request,
                                                 platform::HttpCompletion completion) override {
        ++outcomes_.started;
        return inner_->dataTask(std::move(request),
                                [this, completion = std::move(completion)](
                                    std::optional<std::string> body,
                                    std::optional<platform::HttpResponse> response,
                                    std::optional<platform::HttpError> error) {
                                    if (error && error->is(HttpErrorCode::Cancelled))
                                        ++outcomes_.cancelled;
                                    else if (!error && loadedZibbleFromAnswer(0, body))
                                        ++outcomes_.decoded;
                                    else
                                        ++outcomes_.failed;
                                    completion(std::move(body), response, std::move(error));
                                });
    }

  private:
    std::shared_ptr<platform::HttpSession> inner_;
    Outcomes& outcomes_;
};

// Two requests in three are answered well; the third fails, in turn, in each of these ways.
Reply soakReply(const std::string& body, std::size_t index) {
    Reply reply;
    reply.body = testing::tokenUriAnswer(testing::jsonRpcId(body));
    if (index % 3 != 2)
        return reply;
    switch ((index / 3) % 6) {
    case 0:
        reply.status = 500;
        reply.body = "<html>internal error\xff</html>";
        break;
    case 1:
        reply.kind = Misbehaviour::Reset;
        break;
    case 2:
        reply.kind = Misbehaviour::CloseMidBody;
        break;
    case 3:
        reply.kind = Misbehaviour::NeverAnswer;
        break;
    case 4:
        reply.body = R"({"jsonrpc":"2.0","id":1,"error":{"code":-32603,"message":"internal"}})";
        break;
    default:
        reply.body = R"({"jsonrpc":"2.0","id":1,"result":null})";
        break;
    }
    return reply;
}

// What a step of the main queue must leave true.
void expectInvariants(const ZibblesBounceView& view) {
    ASSERT_LE(view.queue.size(), 4u);
    for (const auto& [id, task] : view.inflightTasks) {
        ASSERT_TRUE(view.pending.count(id)) << "task for " << id << " outside pending";
    }
    // With at most ten ids to avoid among 83300, fifty redraws never all fail in practice.
    std::map<TokenId, int> seen;
    if (view.current)
        ++seen[view.current->tokenId];
    for (const auto& queued : view.queue)
        ++seen[queued.tokenId];
    for (const TokenId id : view.pending)
        ++seen[id];
    for (const auto& [id, count] : seen) {
        ASSERT_EQ(count, 1) << "token " << id << " twice on show, queued or pending";
    }
    if (view.isRunning) {
        ASSERT_TRUE(view.spriteLayer->animationForKey("leg")) << "the sprite stopped moving";
    }
}

TEST(Soak, ADayAgainstAServerThatFailsOneRequestInThree) {
    testing::HostileServer server;
    server.script(soakReply);
    Outcomes outcomes;
    testing::TestEnvironment test = testing::makeTestEnvironment(11);
    test.environment.session =
        std::make_shared<CountingSession>(platform::makeCurlSession(), outcomes);
    test.environment.endpointOverride = server.url();
    test.environment.requestTimeoutOverride = 0.05; // the silent server's fetches end quickly

    std::atomic<std::size_t> retries{0};
    std::mutex mutex;
    std::condition_variable posted;
    test.queue().setPostObserver([&](double delay) {
        if (delay == retryDelay)
            ++retries;
    });
    test.queue().setWakeHook([&] {
        std::lock_guard lock(mutex);
        posted.notify_all();
    });

    const double end = soakHours() * hour;
    const auto began = std::chrono::steady_clock::now();
    const auto view = ZibblesBounceView::initWithFrame(test.environment, fullScreen, false);
    view->startAnimation();
    std::uint64_t residentAfterAnHour = 0;
    double nextRestart = restartEvery;
    std::size_t shown = 0;
    TokenId lastShown = -1;
    while (test.now() < end) {
        if (view->pending.empty()) {
            // Nothing on the wire: jump straight to the next leg end or retry.
            test.advanceTo(std::min(test.queue().nextDeadline().value_or(end), end));
        } else if (test.queue().runDueTasks() == 0) {
            std::unique_lock lock(mutex);
            posted.wait_for(lock, 5ms);
        }
        expectInvariants(*view);
        if (HasFatalFailure())
            return;
        ASSERT_LE(retries, outcomes.failed) << "a retry without a failure";
        if (view->current && view->current->tokenId != lastShown) {
            lastShown = view->current->tokenId;
            ++shown;
        }
        if (!residentAfterAnHour && test.now() >= hour)
            residentAfterAnHour = testing::residentBytes();
        if (test.now() >= nextRestart) {
            view->stopAnimation();
            view->startAnimation();
            nextRestart += restartEvery;
        }
        ASSERT_LT(std::chrono::steady_clock::now() - began, 20min) << "at " << test.now();
    }
    // Let everything on the wire end, then file what it posted without letting time pass.
    view->stopAnimation();
    const auto giveUp = std::chrono::steady_clock::now() + 10s;
    while (outcomes.completed() < outcomes.started && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(2ms);
    std::this_thread::sleep_for(20ms);
    test.queue().runDueTasks();
    expectInvariants(*view);

    const std::uint64_t residentAtEnd = testing::residentBytes();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    std::printf("soak: %.0f h in %.1f s; %zu fetches (%zu decoded, %zu failed, %zu cancelled), "
                "%zu retries, %zu figures shown, %zu connections; RSS after 1 h %.1f MiB, at "
                "the end %.1f MiB\n",
                end / hour, seconds, outcomes.started.load(), outcomes.decoded.load(),
                outcomes.failed.load(), outcomes.cancelled.load(), retries.load(), shown,
                server.connectionCount(), residentAfterAnHour / 1048576.0,
                residentAtEnd / 1048576.0);
    EXPECT_EQ(outcomes.completed(), outcomes.started) << "every fetch completed once";
    EXPECT_GE(retries, 1u);
    EXPECT_LE(retries, outcomes.failed) << "at most one retry per failure";
    EXPECT_GE(outcomes.failed * 4, outcomes.started) << "about one in three failed";
    EXPECT_GE(shown, static_cast<std::size_t>(end / 60)) << "figures keep changing";
    if (memoryIsMeasurable && end >= 2 * hour) {
        EXPECT_LE(residentAtEnd, residentAfterAnHour + 4 * 1048576u) << "memory grew";
    }
}

} // namespace
} // namespace zibbles

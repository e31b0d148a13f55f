#include "Zibbles/ZibblesBounceView.h"
#include "Zibbles/supply/Config.h"
#include "Zibbles/supply/Endpoint.h"
#include "Zibbles/supply/FetchCompletion.h"
#include "Zibbles/supply/RpcRequest.h"
#include "Zibbles/supply/TokenChoice.h"
#include "platform/curl/HttpSessionCurl.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TokenFixtures.h"

#include <gtest/gtest.h>
#include <simdjson.h>

#include <chrono>
#include <thread>

namespace zibbles {
namespace {

using namespace std::chrono_literals;
using platform::HttpError;
using platform::HttpErrorCode;
using platform::Rect;
using testing::LoopbackServer;
using testing::makeTestEnvironment;
using testing::TestEnvironment;
using testing::tokenUriAnswer;

constexpr Rect fullScreen{{0, 0}, {1920, 1080}};

// Token ids in a scripted order, then fresh ones from 1000 up; counts every draw.
class ScriptedIds final : public platform::RandomSource {
  public:
    explicit ScriptedIds(std::vector<TokenId> ids = {}) : ids_(std::move(ids)) {}
    double uniform(double low, double) override { return low; }
    bool coin() override { return true; }
    std::int64_t uniformInt(std::int64_t low, std::int64_t high) override {
        EXPECT_EQ(low, 1);
        EXPECT_EQ(high, 83300);
        const std::size_t n = draws++;
        return n < ids_.size() ? ids_[n] : static_cast<TokenId>(1000 + n);
    }
    void script(std::vector<TokenId> ids) {
        ids_ = std::move(ids);
        draws = 0;
    }
    std::size_t draws = 0;

  private:
    std::vector<TokenId> ids_;
};

LoadedZibble figure(TokenId id) {
    return LoadedZibble{id, {Pixel{0, 0, 1, 1, {}}}, zibbles::Rect{0, 0, 1, 1}};
}

// ---- The pure parts: no session, so every fetch gives its id back at once. -------------------

class TokenSupplyBookkeeping : public ::testing::Test {
  protected:
    std::shared_ptr<ScriptedIds> ids = std::make_shared<ScriptedIds>();
    TestEnvironment test = [this] {
        auto t = makeTestEnvironment();
        t.environment.random = ids;
        return t;
    }();
    std::shared_ptr<ZibblesBounceView> view =
        ZibblesBounceView::initWithFrame(test.environment, fullScreen, false);
};

TEST_F(TokenSupplyBookkeeping, TopUpStartsOneFetchPerMissingToken) {
    EXPECT_EQ(ids->draws, 5u) << "creation: nothing shown, nothing queued";
    const struct {
        bool hasCurrent;
        int queued;
        std::set<TokenId> pending;
        std::size_t fetches;
    } cases[] = {
        {false, 0, {}, 5}, {true, 4, {}, 0},           {true, 2, {7}, 1},
        {true, 0, {}, 4},  {true, 1, {1, 2, 3, 4}, 0}, {false, 0, {1, 2, 3, 4, 5, 6}, 0},
    };
    for (const auto& c : cases) {
        view->current = c.hasCurrent ? std::optional(figure(90000)) : std::nullopt;
        view->queue.assign(c.queued, figure(90001));
        view->pending = c.pending;
        ids->script({});
        view->topUpQueue();
        EXPECT_EQ(ids->draws, c.fetches)
            << c.queued << " queued, " << c.pending.size() << " pending";
    }
}

TEST_F(TokenSupplyBookkeeping, FetchRedrawsWhatIsPendingQueuedShownOrSkipped) {
    view->pending = {10};
    view->queue = {figure(20)};
    view->current = figure(30);
    ids->script({10, 20, 30, 1961, 4800, 77, 88});
    view->fetchOne();
    EXPECT_EQ(ids->draws, 6u);
    EXPECT_EQ(view->pending, std::set<TokenId>{10}) << "no session: the id is given back";
}

TEST(TokenChoice, TakesTheFirstAcceptableCandidateOrElseThe51st) {
    EXPECT_EQ(Config::skipTokenIds(), (std::set<TokenId>{1961, 4800}));
    const std::set<TokenId> avoid = {5, 6};
    {
        ScriptedIds random({5, 1961, 6, 4800, 7});
        EXPECT_EQ(chooseTokenId(random, avoid), 7);
        EXPECT_EQ(random.draws, 5u);
    }
    {
        std::vector<TokenId> rejected(51, 5);
        rejected.back() = 1961;
        rejected.push_back(8);
        ScriptedIds random(rejected);
        EXPECT_EQ(chooseTokenId(random, avoid), 1961) << "the 51st is fetched all the same";
        EXPECT_EQ(random.draws, 51u);
    }
}

TEST_F(TokenSupplyBookkeeping, FinishFetchFilesEachOutcome) {
    // The first token goes on show at once and is drawn.
    view->finishFetch(11, figure(11), std::nullopt);
    ASSERT_TRUE(view->current);
    EXPECT_EQ(view->current->tokenId, 11);
    EXPECT_TRUE(view->spriteLayer->contents());
    // Later ones queue up to four; a fifth is discarded, and each is followed by a top-up.
    for (TokenId id = 12; id <= 16; ++id) {
        ids->script({});
        view->finishFetch(id, figure(id), std::nullopt);
        EXPECT_EQ(ids->draws, static_cast<std::size_t>(std::max<TokenId>(0, 15 - id)));
    }
    ASSERT_EQ(view->queue.size(), 4u);
    EXPECT_EQ(view->queue.back().tokenId, 15);
    EXPECT_EQ(view->current->tokenId, 11);
    // A wanted swap shows the next arrival at once, queue or not.
    view->queue.clear();
    view->wantsSwap = true;
    view->finishFetch(17, figure(17), std::nullopt);
    EXPECT_EQ(view->current->tokenId, 17);
    EXPECT_FALSE(view->wantsSwap);
    EXPECT_TRUE(view->queue.empty());
}

TEST_F(TokenSupplyBookkeeping, CancellationIsDroppedAndOtherFailuresRetryAfterOneAndAHalfSeconds) {
    view->pending = {3, 4};
    view->finishFetch(3, std::nullopt, HttpError{static_cast<long>(HttpErrorCode::Cancelled), ""});
    EXPECT_EQ(view->pending, std::set<TokenId>{4});
    EXPECT_FALSE(test.queue().nextDeadline()) << "a cancellation schedules nothing";

    view->pending = {};
    ids->script({});
    view->finishFetch(4, std::nullopt, HttpError{static_cast<long>(HttpErrorCode::TimedOut), ""});
    view->finishFetch(5, std::nullopt, std::nullopt); // undecodable answer, no transport error
    EXPECT_EQ(ids->draws, 0u);
    test.advanceBy(1.499);
    EXPECT_EQ(ids->draws, 0u) << "not sooner than 1.5 s";
    test.advanceBy(0.001);
    EXPECT_EQ(ids->draws, 5u) << "failures that come together share one top-up";
    test.advanceBy(10);
    EXPECT_EQ(ids->draws, 5u) << "and nothing more is scheduled";
}

// A retry per failure let a server that fails fast multiply the requests: every retry refilled
// every missing place, and every refill that failed scheduled retries of its own. One retry
// waits at a time, due 1.5 s after the latest failure.
TEST_F(TokenSupplyBookkeeping, ALaterFailureMovesTheWaitingRetryInsteadOfAddingOne) {
    view->pending = {};
    ids->script({});
    view->finishFetch(4, std::nullopt, std::nullopt);
    test.advanceBy(1.0);
    view->finishFetch(5, std::nullopt, std::nullopt);
    test.advanceBy(0.5);
    EXPECT_EQ(ids->draws, 0u) << "the later failure has waited only 0.5 s";
    test.advanceBy(0.999);
    EXPECT_EQ(ids->draws, 0u);
    test.advanceBy(0.001);
    EXPECT_EQ(ids->draws, 5u) << "one top-up, 1.5 s after the latest failure";
    test.advanceBy(10);
    EXPECT_EQ(ids->draws, 5u);
}

TEST_F(TokenSupplyBookkeeping, RetryOfAReleasedViewDoesNothing) {
    view->finishFetch(4, std::nullopt, std::nullopt);
    std::weak_ptr<ZibblesBounceView> gone = view;
    view.reset();
    EXPECT_TRUE(gone.expired());
    ids->script({});
    test.advanceBy(5);
    EXPECT_EQ(ids->draws, 0u);
}

TEST(TokenRequest, BodyAndDataFollowTheCallFormat) {
    const struct {
        TokenId id;
        const char* argumentTail;
    } cases[] = {{1, "1"}, {255, "ff"}, {83300, "14564"}};
    for (const auto& c : cases) {
        const std::string tail = c.argumentTail;
        const std::string data = tokenUriCallData(c.id);
        EXPECT_EQ(data, "0xc87b56dd" + std::string(64 - tail.size(), '0') + tail);
        EXPECT_EQ(data.size(), 74u);
        EXPECT_EQ(tokenUriRequestBody(c.id, "0xabc"),
                  R"({"jsonrpc":"2.0","id":)" + std::to_string(c.id) +
                      R"(,"method":"eth_call","params":[{"to":"0xabc","data":")" + data +
                      R"("},"latest"]})");
    }
    const auto request = tokenUriRequest(9, "http://127.0.0.1:1/", "0xabc", tokenRequestTimeout);
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.headers, (decltype(request.headers){{"Content-Type", "application/json"}}));
    EXPECT_EQ(request.timeoutInterval, 12.0);
    EXPECT_EQ(request.cachePolicy, 0);
    EXPECT_EQ(Endpoint::contractAddress().size(), 42u);
}

TEST(FetchAnswer, DecodesOnlyAResultStringThatHoldsAFigure) {
    const auto loaded = loadedZibbleFromAnswer(42, tokenUriAnswer(42));
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->tokenId, 42);
    EXPECT_EQ(loaded->pixels.size(), 3u);
    EXPECT_EQ(loaded->content, (zibbles::Rect{20, 100, 10, 30}));
    const std::string emptyFigure =
        testing::abiEncodeString(testing::tokenUriOfSvg("<svg><circle r='3'/></svg>"));
    for (const char* body : {"", "not json", "[1]", "{}", R"({"result":null})",
                             R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"revert"}})",
                             R"({"result":12})", R"({"result":"0xzz"})"})
        EXPECT_FALSE(loadedZibbleFromAnswer(1, std::string(body))) << body;
    EXPECT_FALSE(loadedZibbleFromAnswer(1, std::nullopt));
    EXPECT_FALSE(loadedZibbleFromAnswer(1, testing::rpcBodyOf(emptyFigure)));

    // Of two "result" members the last counts, whichever of them holds the figure.
    const std::string figure = testing::abiEncodeString(testing::tokenUriOfSvg(
        "<svg><rect x='20' y='100' width='10' height='30' fill='#000'/></svg>"));
    const std::string firstGood = R"({"result":")" + figure + R"(","result":"0x"})";
    const std::string lastGood = R"({"result":null,"result":")" + figure + R"("})";
    EXPECT_FALSE(loadedZibbleFromAnswer(1, firstGood));
    EXPECT_TRUE(loadedZibbleFromAnswer(1, lastGood));
}

// ---- Against a real server on loopback, through the curl session. ----------------------------

// The token id a JSON-RPC request asks for, or -1.
TokenId requestedId(const std::string& body) {
    simdjson::dom::parser parser;
    std::int64_t id = -1;
    if (parser.parse(body)["id"].get_int64().get(id))
        return -1;
    return id;
}

class TokenSupplyOnLoopback : public ::testing::Test {
  protected:
    LoopbackServer server;
    std::shared_ptr<platform::Trace> requests =
        platform::Trace::inMemory(std::make_shared<platform::MonotonicClock>());
    TestEnvironment test = makeTestEnvironment(3);

    void SetUp() override {
        test.environment.session = platform::makeCurlSession(requests);
        test.environment.endpointOverride = server.url("/rpc");
        answerEveryToken();
    }

    void answerEveryToken() {
        server.handle([](const httplib::Request& request, httplib::Response& response) {
            response.set_content(tokenUriAnswer(requestedId(request.body)), "application/json");
        });
    }
    // Every request waits for server.release(), then is answered with its token.
    void stallEveryRequest() {
        server.handle([this](const httplib::Request& request, httplib::Response& response) {
            server.stall();
            response.set_content(tokenUriAnswer(requestedId(request.body)), "application/json");
        });
    }

    std::shared_ptr<ZibblesBounceView> makeView() {
        return ZibblesBounceView::initWithFrame(test.environment, fullScreen, false);
    }

    // Advances virtual time in small steps until the leg in flight has ended and the next begun.
    bool finishLeg(const ZibblesBounceView& view) {
        const auto leg = view.spriteLayer->animationForKey("leg");
        for (int step = 0; step < 3000; ++step) {
            test.advanceBy(0.01);
            if (view.spriteLayer->animationForKey("leg") != leg)
                return true;
        }
        return false;
    }
    std::size_t finishedRequests(const char* outcome) const {
        std::size_t n = 0;
        for (const auto& line : requests->lines())
            n += line.find(std::string(R"("outcome":")") + outcome + "\"") != std::string::npos;
        return n;
    }
    // Requests the session sent, whether or not the server got to read them before they ended.
    std::size_t sentRequests() const {
        std::size_t n = 0;
        for (const auto& line : requests->lines())
            n += line.find(R"("event":"request.sent")") != std::string::npos;
        return n;
    }
};

TEST_F(TokenSupplyOnLoopback, SendsTheTokenUriCallOnTheWire) {
    const auto view = makeView();
    ASSERT_TRUE(test.pumpUntil([&] { return view->queue.size() == 4; }));
    const auto received = server.requests();
    ASSERT_EQ(received.size(), 5u);
    std::set<TokenId> ids;
    for (const auto& request : received) {
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.path, "/rpc");
        EXPECT_EQ(request.header("Content-Type"), "application/json");
        simdjson::dom::parser parser;
        simdjson::dom::object body;
        ASSERT_FALSE(parser.parse(request.body).get(body)) << request.body;
        EXPECT_EQ(body.size(), 4u);
        EXPECT_EQ(std::string_view(body["jsonrpc"]), "2.0");
        EXPECT_EQ(std::string_view(body["method"]), "eth_call");
        const std::int64_t id = body["id"].get_int64(); // a number, not a string
        ids.insert(id);
        EXPECT_TRUE(id >= 1 && id <= 83300 && id != 1961 && id != 4800) << id;
        simdjson::dom::array params = body["params"];
        ASSERT_EQ(params.size(), 2u);
        simdjson::dom::object call = params.at(0);
        EXPECT_EQ(call.size(), 2u);
        EXPECT_EQ(std::string_view(call["to"]), Endpoint::contractAddress());
        EXPECT_EQ(std::string_view(call["data"]), tokenUriCallData(id));
        EXPECT_EQ(std::string_view(params.at(1)), "latest");
    }
    EXPECT_EQ(ids.size(), 5u) << "one top-up asks for five different tokens";
}

TEST_F(TokenSupplyOnLoopback, ShowsTheFirstAtOnceKeepsFourAndSwapsOneInAtEveryLegEnd) {
    const auto view = makeView();
    ASSERT_TRUE(test.pumpUntil([&] { return view->current.has_value(); }));
    EXPECT_TRUE(view->spriteLayer->contents()) << "drawn before the animation starts";
    ASSERT_TRUE(test.pumpUntil([&] { return view->queue.size() == 4 && view->pending.empty(); }));
    EXPECT_TRUE(view->inflightTasks.empty());

    view->startAnimation();
    for (int leg = 1; leg <= 3; ++leg) {
        const TokenId next = view->queue.front().tokenId;
        ASSERT_TRUE(finishLeg(*view));
        EXPECT_EQ(view->current->tokenId, next) << "leg " << leg;
        ASSERT_TRUE(test.pumpUntil([&] { return view->queue.size() == 4; })) << "leg " << leg;
    }
    EXPECT_EQ(server.requestCount(), 5u + 3u);
    view->stopAnimation();
}

TEST_F(TokenSupplyOnLoopback, AWantedSwapShowsTheNextArrivalAtOnce) {
    const auto view = makeView();
    ASSERT_TRUE(test.pumpUntil([&] { return view->queue.size() == 4 && view->pending.empty(); }));
    stallEveryRequest();
    view->startAnimation();
    for (int leg = 0; leg < 5 && !view->wantsSwap; ++leg)
        ASSERT_TRUE(finishLeg(*view));
    ASSERT_TRUE(view->wantsSwap) << "the queue ran dry";
    EXPECT_EQ(view->pending.size(), 4u);
    ASSERT_TRUE(server.waitForStalled(4));
    const TokenId shown = view->current->tokenId;

    server.release();
    ASSERT_TRUE(test.pumpUntil([&] { return view->current->tokenId != shown; }));
    EXPECT_FALSE(view->wantsSwap);
    EXPECT_TRUE(view->pending.count(view->current->tokenId) == 0);
    view->stopAnimation();
}

TEST_F(TokenSupplyOnLoopback, FailedAnswersAreRetriedOneAndAHalfSecondsLater) {
    const struct {
        const char* what;
        int status;
        std::string body;
        bool accepted;
    } cases[] = {
        {"JSON-RPC error", 200, R"({"jsonrpc":"2.0","id":1,"error":{"code":-32000,"message":"x"}})",
         false},
        {"null result", 200, R"({"jsonrpc":"2.0","id":1,"result":null})", false},
        {"not JSON", 200, "<html>bad gateway</html>", false},
        {"HTTP 500 with a good body", 500, tokenUriAnswer(5), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        server.handle([&](const httplib::Request&, httplib::Response& response) {
            response.status = c.status;
            response.set_content(c.body, "application/json");
        });
        const std::size_t before = server.requestCount();
        const auto view = makeView();
        ASSERT_TRUE(test.pumpUntil(
            [&] { return server.requestCount() == before + 5 && view->pending.empty(); }));
        EXPECT_EQ(view->current.has_value(), c.accepted);
        if (c.accepted)
            continue;
        const double failedAt = test.now();
        test.advanceTo(failedAt + 1.499);
        std::this_thread::sleep_for(100ms);
        EXPECT_EQ(server.requestCount(), before + 5) << "no retry before 1.5 s";
        test.advanceTo(failedAt + 1.5);
        EXPECT_TRUE(test.pumpUntil([&] { return server.requestCount() == before + 10; }));
    }
}

TEST_F(TokenSupplyOnLoopback, AStalledServerTimesOutThenIsRetried) {
    stallEveryRequest();
    test.environment.requestTimeoutOverride = 0.3;
    const auto view = makeView();
    ASSERT_TRUE(test.pumpUntil([&] { return finishedRequests("timeout") == 5; }));
    ASSERT_TRUE(test.pumpUntil([&] { return view->pending.empty(); }));
    EXPECT_TRUE(view->inflightTasks.empty());
    // Counted as sent, not as received: on a slow machine a 0.3 s request can time out before the
    // server has read it.
    test.advanceBy(1.4);
    EXPECT_EQ(sentRequests(), 5u);
    test.advanceBy(0.1);
    EXPECT_TRUE(test.pumpUntil([&] { return sentRequests() == 10; }));
}

TEST_F(TokenSupplyOnLoopback, ARefusedConnectionIsRetried) {
    testing::RefusingPort refusing;
    test.environment.endpointOverride = refusing.url();
    const auto view = makeView();
    ASSERT_TRUE(
        test.pumpUntil([&] { return finishedRequests("error") == 5 && view->pending.empty(); }));
    test.advanceBy(1.5);
    EXPECT_TRUE(test.pumpUntil([&] { return finishedRequests("error") == 10; }));
}

TEST_F(TokenSupplyOnLoopback, StopAnimationCancelsEveryFetchWithoutRetry) {
    stallEveryRequest();
    const auto view = makeView();
    ASSERT_TRUE(server.waitForStalled(5));
    view->startAnimation();
    view->stopAnimation();
    EXPECT_TRUE(view->pending.empty());
    EXPECT_TRUE(view->inflightTasks.empty());
    ASSERT_TRUE(test.pumpUntil([&] { return finishedRequests("cancelled") == 5; }));
    test.advanceBy(60);
    std::this_thread::sleep_for(50ms);
    test.queue().runDueTasks();
    EXPECT_EQ(server.requestCount(), 5u);
    EXPECT_TRUE(view->pending.empty());
    EXPECT_FALSE(test.queue().nextDeadline()) << "no retry was scheduled";
}

TEST_F(TokenSupplyOnLoopback, AViewReleasedWithFetchesInFlightIsLeftAlone) {
    stallEveryRequest();
    auto view = makeView();
    ASSERT_TRUE(server.waitForStalled(5));
    std::weak_ptr<ZibblesBounceView> gone = view;
    view.reset();
    EXPECT_TRUE(gone.expired());
    server.release();
    ASSERT_TRUE(test.pumpUntil([&] { return finishedRequests("ok") == 5; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(test.queue().runDueTasks(), 0u) << "nothing was posted for a released view";
    EXPECT_EQ(server.requestCount(), 5u);
}

TEST_F(TokenSupplyOnLoopback, ShipsWithATwelveSecondTimeout) {
    stallEveryRequest();
    // Timed from before the fetches start: their clocks run from their own starts, and seeing
    // all five stalled can take a sanitizer build some milliseconds more.
    const auto sent = std::chrono::steady_clock::now();
    const auto view = makeView();
    ASSERT_TRUE(server.waitForStalled(5));
    ASSERT_TRUE(test.pumpUntil([&] { return view->pending.empty(); }, 20s));
    const auto waited = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(waited, 11.5s);
    EXPECT_LT(waited, 15s);
    EXPECT_EQ(finishedRequests("timeout"), 5u);
}

} // namespace
} // namespace zibbles

// The saver against servers that misbehave: a view on virtual time with the real curl session,
// pointed at a loopback server that fails in one way or another. Whatever the server does, the
// view keeps running, retries 1.5 s after the failures (one retry for failures that come
// together), and shows figures again as soon as the server answers well.

#include "tests/support/HostileServer.h"
#include "Zibbles/ZibblesBounceView.h"
#include "hosts/saver/SaverMemory.h"
#include "platform/Clock.h"
#include "platform/curl/HttpSessionCurl.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TokenFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zibbles {
namespace {

using namespace std::chrono_literals;
using testing::HostileServer;
using testing::jsonRpcId;
using testing::Misbehaviour;
using testing::Reply;
using testing::tokenUriAnswer;

constexpr platform::Rect fullScreen{{0, 0}, {1920, 1080}};
constexpr double retryDelay = 1.5;
constexpr std::uint64_t MiB = 1024 * 1024;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
// The sanitizers' allocators keep freed blocks in quarantine or shadow, so resident memory
// measures them, not the session; their own leak and race checks stand in.
constexpr bool memoryIsMeasurable = false;
#else
constexpr bool memoryIsMeasurable = true;
#endif
// The resident figures are the saver's, so the process runs under the saver's allocator policy.
[[maybe_unused]] const bool saverMemory = (host::keepSaverMemoryFlat(), true);

Reply replyOf(Misbehaviour kind, int status = 200, std::string body = {}) {
    Reply reply;
    reply.kind = kind;
    reply.status = status;
    reply.body = std::move(body);
    return reply;
}

Reply goodAnswer(const std::string& requestBody) {
    return replyOf(Misbehaviour::Answer, 200, tokenUriAnswer(jsonRpcId(requestBody)));
}

class HostileServerTest : public ::testing::Test {
  protected:
    HostileServer server;
    std::shared_ptr<platform::Trace> requests =
        platform::Trace::inMemory(std::make_shared<platform::MonotonicClock>());
    testing::TestEnvironment test = testing::makeTestEnvironment(7);
    std::atomic<int> retriesScheduled{0};

    void SetUp() override {
        test.environment.session = platform::makeCurlSession(requests);
        test.environment.endpointOverride = server.url();
        test.environment.requestTimeoutOverride = 0.3;
        test.queue().setPostObserver([this](double delay) {
            if (delay == retryDelay)
                ++retriesScheduled;
        });
        behave();
    }

    void behave() {
        server.script([](const std::string& body, std::size_t) { return goodAnswer(body); });
    }
    void misbehave(Reply reply) {
        server.script([reply](const std::string&, std::size_t) { return reply; });
    }

    std::shared_ptr<ZibblesBounceView> makeView() {
        return ZibblesBounceView::initWithFrame(test.environment, fullScreen, false);
    }

    // Requests the session has finished, with the given outcome or with any.
    std::size_t finished(const char* outcome = nullptr) const {
        const std::string wanted = outcome ? std::string(R"("outcome":")") + outcome + "\""
                                           : std::string(R"("event":"request.finished")");
        std::size_t n = 0;
        for (const auto& line : requests->lines())
            n += line.find(wanted) != std::string::npos;
        return n;
    }
    std::string dump() const {
        std::string all;
        for (const auto& line : requests->lines())
            all += line + "\n";
        return all;
    }
    bool settled(const ZibblesBounceView& view) const {
        return view.current && view.queue.size() == 4 && view.pending.empty();
    }
};

TEST_F(HostileServerTest, EveryMisbehaviourIsRetriedAndFiguresReturnWhenTheServerMends) {
    const std::string good = tokenUriAnswer(42);
    const std::string noFigure =
        testing::rpcBodyOf(testing::abiEncodeString(testing::tokenUriOfSvg("<svg/>")));
    const struct {
        const char* what;
        Reply reply;
    } cases[] = {
        {"accepts and never reads", replyOf(Misbehaviour::NeverRead)},
        {"accepts and never answers", replyOf(Misbehaviour::NeverAnswer)},
        {"closes after the headers", replyOf(Misbehaviour::CloseAfterHeaders, 200, good)},
        {"closes mid-body", replyOf(Misbehaviour::CloseMidBody, 200, good)},
        {"resets the connection", replyOf(Misbehaviour::Reset)},
        {"answers without HTTP",
         replyOf(Misbehaviour::NotHttp, 200, "\x16\x03\x01\x02 junk\r\n\r\n")},
        {"sends headers without end", replyOf(Misbehaviour::EndlessHeaders)},
        {"answers garbage", replyOf(Misbehaviour::Answer, 200, std::string("\0\xff<html>", 8))},
        {"error status with garbage", replyOf(Misbehaviour::Answer, 503, "Service Unavailable")},
        {"empty body", replyOf(Misbehaviour::Answer, 200, "")},
        {"truncated JSON", replyOf(Misbehaviour::Answer, 200, good.substr(0, good.size() / 2))},
        {"JSON-RPC error",
         replyOf(Misbehaviour::Answer, 200,
                 R"({"jsonrpc":"2.0","id":1,"error":{"code":-32005,"message":"limit exceeded"}})")},
        {"null result",
         replyOf(Misbehaviour::Answer, 200, R"({"jsonrpc":"2.0","id":1,"result":null})")},
        {"number result", replyOf(Misbehaviour::Answer, 200,
                                  R"({"jsonrpc":"2.0","id":1,"result":1234567890123456789012})")},
        {"result without a figure", replyOf(Misbehaviour::Answer, 200, noFigure)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        misbehave(c.reply);
        const std::size_t connections = server.connectionCount();
        const std::size_t done = finished();
        retriesScheduled = 0;
        const auto view = makeView();
        ASSERT_TRUE(
            test.pumpUntil([&] { return finished() == done + 5 && view->pending.empty(); }));
        EXPECT_FALSE(view->current);
        EXPECT_TRUE(view->inflightTasks.empty());
        EXPECT_EQ(retriesScheduled, 1) << "one retry for five failures at once";

        const double failedAt = test.now();
        test.advanceTo(failedAt + retryDelay - 0.001);
        std::this_thread::sleep_for(20ms);
        EXPECT_EQ(server.connectionCount(), connections + 5) << "no retry before 1.5 s";
        test.advanceTo(failedAt + retryDelay);
        ASSERT_TRUE(
            test.pumpUntil([&] { return finished() == done + 10 && view->pending.empty(); }));
        EXPECT_EQ(server.connectionCount(), connections + 10);
        EXPECT_EQ(retriesScheduled, 2);

        behave();
        test.advanceBy(retryDelay);
        ASSERT_TRUE(test.pumpUntil([&] { return settled(*view); }));
        EXPECT_TRUE(view->spriteLayer->contents());
        EXPECT_EQ(retriesScheduled, 2) << "a success schedules no retry";
    }
}

TEST_F(HostileServerTest, BytesDrippingSlowerThanTheWholeTimeoutStillComplete) {
    // A 1 s timeout, and the first dozen bytes of each answer 0.3 s apart: 3.3 s in all.
    test.environment.requestTimeoutOverride = 1.0;
    server.script([](const std::string& body, std::size_t) {
        Reply reply = goodAnswer(body);
        reply.kind = Misbehaviour::Drip;
        reply.dripBytes = 12;
        reply.delay = 300ms;
        return reply;
    });
    const auto began = std::chrono::steady_clock::now();
    const auto view = makeView();
    ASSERT_TRUE(test.pumpUntil([&] { return settled(*view); }, 20s)) << dump();
    EXPECT_GE(std::chrono::steady_clock::now() - began, 3s);
    EXPECT_EQ(finished("timeout"), 0u);
    EXPECT_EQ(retriesScheduled, 0);
}

TEST_F(HostileServerTest, HundredMebibyteBodiesAreRefusedAtTheCapWithMemoryBounded) {
    for (const bool announceLength : {true, false}) {
        SCOPED_TRACE(announceLength ? "with a Content-Length" : "delimited by the close");
        Reply huge = replyOf(Misbehaviour::HugeBody);
        huge.hugeBytes = 100 * MiB;
        huge.announceLength = announceLength;
        misbehave(huge);
        const std::uint64_t peakBefore = testing::peakResidentBytes();
        const std::uint64_t sentBefore = server.bodyBytesSent();
        const std::size_t done = finished();
        retriesScheduled = 0;
        const auto view = makeView();
        ASSERT_TRUE(
            test.pumpUntil([&] { return finished() == done + 5 && view->pending.empty(); }, 30s));
        EXPECT_FALSE(view->current);
        EXPECT_EQ(retriesScheduled, 1);
        const std::uint64_t growth = testing::peakResidentBytes() - peakBefore;
        const std::uint64_t sent = server.bodyBytesSent() - sentBefore;
        std::printf("100 MiB bodies, %s: peak RSS growth %.1f MiB, %.1f MiB sent for 5 fetches\n",
                    announceLength ? "announced" : "unannounced", static_cast<double>(growth) / MiB,
                    static_cast<double>(sent) / MiB);
        // Five fetches at once, each refused once it passes 16 MiB.
        EXPECT_LT(sent, 5 * 20 * MiB);
        // The session holds at most 24 MiB of body buffers at once (one body at the cap and half
        // of it again, buffers counted as allocated). The 8 MiB beyond that cover curl's receive
        // buffers, the server's chunks, the threads' stacks and the heap's own slack.
        if (memoryIsMeasurable) {
            EXPECT_LT(growth, 32 * MiB);
        }

        behave();
        test.advanceBy(retryDelay);
        ASSERT_TRUE(test.pumpUntil([&] { return settled(*view); }));
    }
}

TEST_F(HostileServerTest, ManyViewsWaitingOnASlowServerAtOnceAllGetTheirFigures) {
    test.environment.requestTimeoutOverride = 10.0;
    server.script([](const std::string& body, std::size_t) {
        Reply reply = goodAnswer(body);
        reply.delay = 600ms;
        return reply;
    });
    std::vector<std::shared_ptr<ZibblesBounceView>> views;
    for (int i = 0; i < 8; ++i)
        views.push_back(makeView());
    ASSERT_TRUE(test.pumpUntil(
        [&] {
            return std::all_of(views.begin(), views.end(), [&](auto& v) { return settled(*v); });
        },
        30s));
    EXPECT_GE(server.mostOpenAtOnce(), 30u) << "the views' first fetches overlap";
    EXPECT_EQ(finished("ok"), server.connectionCount());
    EXPECT_EQ(retriesScheduled, 0);
}

// An https endpoint served with a self-signed certificate.
class TlsEndpoint {
  public:
    explicit TlsEndpoint(const testing::SelfSignedCertificate& certificate)
        : server_(certificate.certificate().c_str(), certificate.key().c_str()) {
        server_.Post(".*", [](const httplib::Request& request, httplib::Response& response) {
            response.set_content(tokenUriAnswer(jsonRpcId(request.body)), "application/json");
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        loop_ = std::thread([this] { server_.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(1ms);
    }
    ~TlsEndpoint() {
        server_.stop();
        loop_.join();
    }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/rpc"; }

  private:
    httplib::SSLServer server_;
    int port_ = 0;
    std::thread loop_;
};

TEST_F(HostileServerTest, AnUntrustedCertificateIsRefusedAndRetriedATrustedOneServesFigures) {
    testing::SelfSignedCertificate certificate("IP:127.0.0.1");
    if (!certificate.made())
        GTEST_SKIP() << "the openssl tool cannot make a certificate here";
    TlsEndpoint endpoint(certificate);
    test.environment.endpointOverride = endpoint.url();
    test.environment.requestTimeoutOverride = 5.0;
    {
        const testing::CertFileVariable untrusted(nullptr);
        test.environment.session = platform::makeCurlSession(requests);
        const auto view = makeView();
        for (std::size_t round = 1; round <= 3; ++round) {
            ASSERT_TRUE(test.pumpUntil([&] { return finished("error") == 5 * round; })) << round;
            ASSERT_TRUE(test.pumpUntil([&] { return view->pending.empty(); }));
            EXPECT_EQ(retriesScheduled, static_cast<int>(round));
            test.advanceBy(retryDelay);
        }
        EXPECT_FALSE(view->current) << "never accepted";
        EXPECT_EQ(finished("ok"), 0u);
    }
    {
        const std::string path = certificate.certificate();
        const testing::CertFileVariable trusted(&path);
        test.environment.session = platform::makeCurlSession(requests);
        retriesScheduled = 0;
        const auto view = makeView();
        ASSERT_TRUE(test.pumpUntil([&] { return settled(*view); }));
        EXPECT_EQ(retriesScheduled, 0);
    }
}

} // namespace
} // namespace zibbles

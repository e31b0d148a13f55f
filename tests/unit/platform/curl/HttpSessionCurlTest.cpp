#include "platform/curl/HttpSessionCurl.h"
#include "platform/Clock.h"
#include "platform/Trace.h"
#include "tests/support/Completions.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TlsCertificate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

namespace zibbles::platform {
namespace {

using namespace std::chrono_literals;
using testing::codeOf;
using testing::Completions;
using testing::get;
using testing::LoopbackServer;
using testing::RefusingPort;

constexpr long kCancelled = static_cast<long>(HttpErrorCode::Cancelled);
constexpr long kTimedOut = static_cast<long>(HttpErrorCode::TimedOut);

// Streams `total` bytes in 64 KiB chunks, counting what actually went out.
void streamBytes(httplib::Response& response, std::size_t total, std::atomic<std::size_t>& sent,
                 bool announceLength) {
    const auto provider = [total, &sent](std::size_t offset, httplib::DataSink& sink) {
        static const std::string chunk(64 * 1024, 'z');
        if (offset >= total) {
            sink.done();
            return true;
        }
        const std::size_t n = std::min(chunk.size(), total - offset);
        if (!sink.write(chunk.data(), n))
            return false;
        sent += n;
        return true;
    };
    if (announceLength)
        response.set_content_provider(
            total, "application/octet-stream",
            [provider](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                return provider(offset, sink);
            });
    else
        response.set_chunked_content_provider("application/octet-stream", provider);
}

class HttpSessionCurlTest : public ::testing::Test {
  protected:
    LoopbackServer server;
    std::shared_ptr<Trace> trace = Trace::inMemory(std::make_shared<MonotonicClock>());
    std::shared_ptr<HttpSession> session = makeCurlSession(trace);

    std::shared_ptr<DataTask> start(HttpRequest request, Completions& completions) {
        auto task = session->dataTask(std::move(request), completions.handler());
        task->resume();
        return task;
    }
};

TEST_F(HttpSessionCurlTest, DeliversBodyStatusAndHeadersOffTheCallingThread) {
    for (int status : {200, 201, 404, 429}) {
        server.handle([status](const httplib::Request&, httplib::Response& response) {
            response.status = status;
            response.set_header("Retry-After", std::to_string(status));
            response.set_content("answer " + std::to_string(status), "text/plain");
        });
        Completions completions;
        start(get(server.url("/x")), completions);
        const auto call = completions.first();
        EXPECT_FALSE(call.error) << status;
        EXPECT_EQ(call.body, "answer " + std::to_string(status));
        ASSERT_TRUE(call.response);
        EXPECT_EQ(call.response->statusCode, status);
        EXPECT_EQ(call.response->valueForHTTPHeaderField("retry-AFTER"), std::to_string(status));
        EXPECT_NE(call.thread, std::this_thread::get_id());
        EXPECT_EQ(completions.count(), 1u);
    }
}

TEST_F(HttpSessionCurlTest, SendsMethodHeadersAndBody) {
    server.handle([](const httplib::Request&, httplib::Response& response) {
        response.set_content("{}", "application/json");
    });
    HttpRequest request = get(server.url("/rpc"));
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json"}, {"X-Probe", "7"}};
    request.body = R"({"jsonrpc":"2.0"})";
    Completions completions;
    start(request, completions);
    EXPECT_FALSE(completions.first().error);

    ASSERT_EQ(server.requestCount(), 1u);
    const auto received = server.requests().front();
    EXPECT_EQ(received.method, "POST");
    EXPECT_EQ(received.path, "/rpc");
    EXPECT_EQ(received.body, request.body);
    EXPECT_EQ(received.header("Content-Type"), "application/json");
    EXPECT_EQ(received.header("X-Probe"), "7");
    EXPECT_EQ(received.header("Expect"), "");
}

TEST_F(HttpSessionCurlTest, StalledServerTimesOut) {
    server.handle([this](const httplib::Request&, httplib::Response&) { server.stall(); });
    Completions completions;
    const auto began = std::chrono::steady_clock::now();
    start(get(server.url(), 0.3), completions);
    const auto call = completions.first();
    const auto waited = std::chrono::steady_clock::now() - began;
    EXPECT_EQ(codeOf(call), kTimedOut);
    EXPECT_FALSE(call.body);
    EXPECT_GE(waited, 300ms);
}

TEST_F(HttpSessionCurlTest, BytesArrivingKeepTheRequestAlive) {
    // Twelve bytes, one every 100 ms: far longer than the 0.4 s timeout in all, never that idle.
    server.handle([](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("text/plain",
                                              [](std::size_t offset, httplib::DataSink& sink) {
                                                  if (offset >= 12) {
                                                      sink.done();
                                                      return true;
                                                  }
                                                  std::this_thread::sleep_for(100ms);
                                                  return sink.write("b", 1);
                                              });
    });
    Completions completions;
    start(get(server.url(), 0.4), completions);
    const auto call = completions.first();
    EXPECT_FALSE(call.error) << call.error->detail;
    EXPECT_EQ(call.body, std::string(12, 'b'));
}

TEST_F(HttpSessionCurlTest, RefusedConnectionFails) {
    RefusingPort refusing;
    Completions completions;
    start(get(refusing.url()), completions);
    EXPECT_EQ(codeOf(completions.first()), static_cast<long>(HttpErrorCode::CannotConnect));
}

TEST_F(HttpSessionCurlTest, RejectsWhatCannotBeSentSafely) {
    struct Case {
        const char* what;
        HttpRequest request;
        HttpErrorCode code;
    };
    HttpRequest injected = get(server.url());
    injected.headers = {{"X-A", "1\r\nX-Injected: 1"}};
    HttpRequest badMethod = get(server.url());
    badMethod.method = "GET /other HTTP/1.1\r\n";
    const Case cases[] = {
        {"no scheme", get("127.0.0.1/"), HttpErrorCode::BadURL},
        {"not http", get("file:///etc/passwd"), HttpErrorCode::BadURL},
        {"ftp", get("ftp://127.0.0.1/"), HttpErrorCode::BadURL},
        {"space", get("http://127.0.0.1/a b"), HttpErrorCode::BadURL},
        {"header with a line break", injected, HttpErrorCode::Unknown},
        {"method with a line break", badMethod, HttpErrorCode::Unknown},
    };
    for (const Case& c : cases) {
        Completions completions;
        start(c.request, completions);
        EXPECT_EQ(codeOf(completions.first()), static_cast<long>(c.code)) << c.what;
    }
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpSessionCurlTest, CancelWhileRunningCompletesOnceAsCancelled) {
    server.handle([this](const httplib::Request&, httplib::Response&) { server.stall(); });
    Completions completions;
    const auto task = start(get(server.url()), completions);
    ASSERT_TRUE(server.waitForStalled(1));
    task->cancel();
    task->cancel();
    const auto call = completions.first();
    EXPECT_EQ(codeOf(call), kCancelled);
    EXPECT_FALSE(call.body);
    server.release();
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(completions.count(), 1u);
}

TEST_F(HttpSessionCurlTest, CancelBeforeResumeCompletesAsCancelledWithoutSending) {
    Completions completions;
    const auto task = session->dataTask(get(server.url()), completions.handler());
    task->cancel();
    EXPECT_EQ(completions.count(), 0u);
    task->resume();
    EXPECT_EQ(codeOf(completions.first()), kCancelled);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(HttpSessionCurlTest, CancelAfterCompletionIsHarmless) {
    server.handle([](const httplib::Request&, httplib::Response& response) {
        response.set_content("done", "text/plain");
    });
    Completions completions;
    const auto task = start(get(server.url()), completions);
    EXPECT_EQ(completions.first().body, "done");
    task->cancel();
    task->resume();
    task->cancel();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(completions.count(), 1u);
}

TEST_F(HttpSessionCurlTest, BodyOverTheCapFailsBeforeItAllArrives) {
    constexpr std::size_t total = 64u * 1024u * 1024u;
    for (bool announceLength : {false, true}) {
        std::atomic<std::size_t> sent{0};
        server.handle([&](const httplib::Request&, httplib::Response& response) {
            streamBytes(response, total, sent, announceLength);
        });
        Completions completions;
        start(get(server.url()), completions);
        const auto call = completions.first(30s);
        EXPECT_EQ(codeOf(call), static_cast<long>(HttpErrorCode::ResponseTooLarge))
            << "announced length: " << announceLength;
        EXPECT_FALSE(call.body);
        EXPECT_LT(sent.load(), total / 2) << "announced length: " << announceLength;
    }
}

TEST_F(HttpSessionCurlTest, BodyOfExactlyTheCapArrives) {
    std::atomic<std::size_t> sent{0};
    server.handle([&](const httplib::Request&, httplib::Response& response) {
        streamBytes(response, HttpSession::maxBodyBytes, sent, false);
    });
    Completions completions;
    start(get(server.url()), completions);
    const auto call = completions.first(30s);
    ASSERT_TRUE(call.body);
    EXPECT_EQ(call.body->size(), HttpSession::maxBodyBytes);
}

TEST_F(HttpSessionCurlTest, ManyTasksAtOnceEachCompleteOnceWithTheirOwnAnswer) {
    server.handle([](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.path, "text/plain");
    });
    constexpr int count = 40;
    // Appending, not "/" + text: GCC 12 warns falsely (-Wrestrict) on that operator at -O2.
    const auto pathOf = [](int i) { return std::string("/").append(std::to_string(i)); };
    std::vector<Completions> completions(count);
    std::vector<std::shared_ptr<DataTask>> tasks;
    for (int i = 0; i < count; ++i)
        tasks.push_back(start(get(server.url(pathOf(i))), completions[i]));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(completions[i].first().body, pathOf(i));
    for (const auto& c : completions)
        EXPECT_EQ(c.count(), 1u);
}

TEST_F(HttpSessionCurlTest, DestroyingTheSessionCancelsWhatRuns) {
    server.handle([this](const httplib::Request&, httplib::Response&) { server.stall(); });
    std::vector<Completions> completions(3);
    std::vector<std::shared_ptr<DataTask>> tasks;
    for (auto& c : completions)
        tasks.push_back(start(get(server.url()), c));
    ASSERT_TRUE(server.waitForStalled(3));
    session.reset();
    for (auto& c : completions) {
        EXPECT_EQ(c.count(), 1u);
        EXPECT_EQ(codeOf(c.first()), kCancelled);
    }
    // A task outliving its session still completes once, as cancelled.
    tasks.front()->cancel();
    Completions late;
    const auto survivor = makeCurlSession()->dataTask(get(server.url()), late.handler());
    survivor->resume();
    EXPECT_EQ(codeOf(late.first()), kCancelled);
}

TEST_F(HttpSessionCurlTest, TracesEachRequestSentAndFinished) {
    server.handle([](const httplib::Request&, httplib::Response& response) {
        response.set_content("abc", "text/plain");
    });
    HttpRequest request = get(server.url("/t"));
    request.traceLabel = "42";
    Completions completions;
    start(request, completions);
    completions.first();
    session.reset(); // the finished line is written before the completion runs
    const auto lines = trace->lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find(R"("event":"request.sent")"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(R"("token":"42")"), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find(server.url("/t")), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find(R"("event":"request.finished")"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(R"("outcome":"ok")"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(R"("status":200)"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(R"("bytes":3)"), std::string::npos) << lines[1];
}

TEST(HttpSessionCurlTls, VerifiesThePeerAndItsName) {
    const struct {
        const char* what;
        const char* subjectAltName;
        bool trusted;
        long code;
    } cases[] = {
        {"untrusted issuer", "IP:127.0.0.1", false,
         static_cast<long>(HttpErrorCode::ServerCertificateUntrusted)},
        {"trusted through SSL_CERT_FILE", "IP:127.0.0.1", true, 0},
        {"trusted, for another name", "DNS:elsewhere.test", true,
         static_cast<long>(HttpErrorCode::ServerCertificateUntrusted)},
    };
    for (const auto& c : cases) {
        testing::SelfSignedCertificate certificate(c.subjectAltName);
        if (!certificate.made())
            GTEST_SKIP() << "the openssl tool cannot make a certificate here";
        const std::string path = certificate.certificate();
        const testing::CertFileVariable variable(c.trusted ? &path : nullptr);

        httplib::SSLServer server(path.c_str(), certificate.key().c_str());
        server.Get(".*", [](const httplib::Request&, httplib::Response& response) {
            response.set_content("secure", "text/plain");
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port, 0);
        std::thread loop([&] { server.listen_after_bind(); });
        for (int i = 0; i < 5000 && !server.is_running(); ++i)
            std::this_thread::sleep_for(1ms);

        Completions completions;
        {
            auto session = makeCurlSession();
            session
                ->dataTask(get("https://127.0.0.1:" + std::to_string(port) + "/"),
                           completions.handler())
                ->resume();
            const auto call = completions.first();
            EXPECT_EQ(codeOf(call), c.code) << c.what;
            if (c.code == 0) {
                EXPECT_EQ(call.body, "secure") << c.what;
            }
        }
        server.stop();
        loop.join();
    }
}

TEST(IsValidURL, NeedsASchemeAndAHost) {
    for (const char* text : {"http://127.0.0.1:8545", "https://rpc.example.org/v1?key=a",
                             "http://localhost/", "gopher://host"})
        EXPECT_TRUE(isValidURL(text)) << text;
    for (const char* text : {"", "127.0.0.1:8545", "http://", "http:///path", "file:///etc/passwd",
                             "http://a b/", "://host", "not a url"})
        EXPECT_FALSE(isValidURL(text)) << text;
}

} // namespace
} // namespace zibbles::platform

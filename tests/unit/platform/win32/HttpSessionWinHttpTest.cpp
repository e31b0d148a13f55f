// The WinHTTP session against the loopback servers of the curl session's tests, which run as a
// Linux program beside Wine (zibbles-loopback-scenarios): ZIBBLES_LOOPBACK names their ports.
// Run by tests/system/windows/winhttp-session.sh.

#include "platform/HttpFailureText.h"
#include "platform/win32/HttpSessionWinHttp.h"
#include "tests/support/Completions.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>

namespace zibbles {
namespace {

using namespace std::chrono_literals;
using platform::HttpErrorCode;
using testing::Completions;

// The servers' ports, from "http=PORT hostile=PORT tls=PORT refused=PORT".
std::map<std::string, std::string> loopback() {
    std::map<std::string, std::string> ports;
    const char* text = std::getenv("ZIBBLES_LOOPBACK");
    std::istringstream words(text ? text : "");
    for (std::string word; words >> word;)
        if (const auto equals = word.find('='); equals != std::string::npos)
            ports[word.substr(0, equals)] = word.substr(equals + 1);
    return ports;
}

std::string url(const std::string& server, const std::string& path = "/") {
    const auto ports = loopback();
    const auto port = ports.find(server);
    EXPECT_NE(port, ports.end()) << "ZIBBLES_LOOPBACK names no " << server << " server";
    return std::string(server == "tls" ? "https" : "http") + "://127.0.0.1:" +
           (port == ports.end() ? "1" : port->second) + path;
}

platform::HttpRequest post(std::string target, std::string body, double timeout = 10.0) {
    auto request = testing::get(std::move(target), timeout);
    request.method = "POST";
    request.body = std::move(body);
    return request;
}

struct Ran {
    Completions::Call call;
    double seconds = 0.0;
};

Ran run(platform::HttpSession& session, platform::HttpRequest request) {
    Completions completions;
    const auto started = std::chrono::steady_clock::now();
    session.dataTask(std::move(request), completions.handler())->resume();
    Ran ran{completions.first(30s)};
    ran.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return ran;
}

TEST(HttpSessionWinHttp, serversAreNamed) {
    ASSERT_EQ(loopback().size(), 4u) << "run through tests/system/windows/winhttp-session.sh";
}

TEST(HttpSessionWinHttp, answersArriveWholeAfterRedirectsAndDecoding) {
    const std::string compressedBody =
        "a body that arrives compressed, a body that arrives compressed";
    struct Case {
        const char* name;
        platform::HttpRequest request;
        long status;
        std::string body;
    } cases[] = {
        {"plain", testing::get(url("http", "/ok")), 200, "hello"},
        {"a POST with a header", post(url("http", "/echo"), "{\"id\":1}"), 200, "POST {\"id\":1} yes"},
        {"three redirects", testing::get(url("http", "/redirect/3")), 200, "hello"},
        {"307 keeps the POST", post(url("http", "/temporary"), "kept"), 200, "POST kept yes"},
        {"303 turns it into a GET", post(url("http", "/see-other"), "dropped"), 200, "GET  yes"},
        {"gzip", testing::get(url("http", "/gzip")), 200, compressedBody},
        {"deflate", testing::get(url("http", "/deflate")), 200, compressedBody},
        {"raw deflate", testing::get(url("http", "/raw-deflate")), 200, compressedBody},
        {"an HTTP error status is an answer", testing::get(url("http", "/status/503")), 503, "busy"},
    };
    const auto session = platform::makeWinHttpSession();
    for (auto& c : cases) {
        c.request.headers.push_back({"X-Test", "yes"});
        const Ran ran = run(*session, c.request);
        ASSERT_FALSE(ran.call.error) << c.name << ": " << ran.call.error->detail;
        ASSERT_TRUE(ran.call.response && ran.call.body) << c.name;
        EXPECT_EQ(ran.call.response->statusCode, c.status) << c.name;
        EXPECT_EQ(*ran.call.body, c.body) << c.name;
        EXPECT_FALSE(ran.call.response->valueForHTTPHeaderField("content-encoding")) << c.name;
    }
    const Ran ok = run(*session, testing::get(url("http", "/ok")));
    ASSERT_TRUE(ok.call.response);
    EXPECT_EQ(ok.call.response->valueForHTTPHeaderField("x-answer"), "42");
}

// Each failure in the words people read on Linux, whatever code WinHTTP or Wine gave.
TEST(HttpSessionWinHttp, failuresAreWordedAsOnLinux) {
    struct Case {
        const char* name;
        platform::HttpRequest request;
        HttpErrorCode code;
        std::string words; // the start of describeHttpError's
        double atLeast = 0.0;
        double atMost = 10.0; // seconds
    } cases[] = {
        {"a refused port", testing::get(url("refused")), HttpErrorCode::CannotConnect,
         "connection refused"},
        {"a silent server", post(url("hostile"), "never-answer", 1.5), HttpErrorCode::TimedOut,
         "timed out after 1.5 s", 1.4, 6.0},
        {"an untrusted certificate", testing::get(url("tls", "/")),
         HttpErrorCode::ServerCertificateUntrusted, "TLS certificate not trusted"},
        {"a redirect loop", testing::get(url("http", "/loop")),
         HttpErrorCode::HTTPTooManyRedirects, "too many redirects"},
        {"a body of 20 MiB", post(url("hostile"), "huge", 30.0), HttpErrorCode::ResponseTooLarge,
         "answer too large", 0.0, 30.0},
    };
    const auto session = platform::makeWinHttpSession();
    for (const auto& c : cases) {
        const Ran ran = run(*session, c.request);
        ASSERT_TRUE(ran.call.error) << c.name;
        EXPECT_EQ(ran.call.error->code, static_cast<long>(c.code))
            << c.name << ": " << ran.call.error->detail;
        EXPECT_EQ(platform::describeHttpError(*ran.call.error, c.request.timeoutInterval)
                      .rfind(c.words, 0),
                  0u)
            << c.name << ": " << platform::describeHttpError(*ran.call.error, 12);
        EXPECT_GE(ran.seconds, c.atLeast) << c.name;
        EXPECT_LE(ran.seconds, c.atMost) << c.name;
    }
}

// Answers no well-built server gives end in an error, never in a body taken for whole.
TEST(HttpSessionWinHttp, brokenAnswersFail) {
    const auto session = platform::makeWinHttpSession();
    for (const char* misbehaviour : {"close-mid-body", "reset", "endless-headers"}) {
        const Ran ran = run(*session, post(url("hostile"), misbehaviour, 3.0));
        EXPECT_TRUE(ran.call.error) << misbehaviour;
        EXPECT_LE(ran.seconds, 8.0) << misbehaviour;
    }
}

TEST(HttpSessionWinHttp, cancelCompletesAtOnceAndOnlyOnce) {
    Completions completions;
    std::thread::id sessionThread;
    {
        const auto session = platform::makeWinHttpSession();
        const auto task = session->dataTask(testing::get(url("http", "/stall"), 30.0),
                                            completions.handler());
        task->resume();
        const auto started = std::chrono::steady_clock::now();
        task->cancel();
        task->cancel();
        const auto call = completions.first(5s);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
        EXPECT_EQ(testing::codeOf(call), static_cast<long>(HttpErrorCode::Cancelled));
        EXPECT_NE(call.thread, std::this_thread::get_id());
        sessionThread = call.thread;
    }
    EXPECT_EQ(completions.count(), 1u);
}

TEST(HttpSessionWinHttp, destroyingTheSessionCancelsWhatRuns) {
    Completions inFlight;
    Completions late;
    std::shared_ptr<platform::DataTask> afterwards;
    {
        const auto session = platform::makeWinHttpSession();
        session->dataTask(testing::get(url("http", "/stall"), 30.0), inFlight.handler())->resume();
        afterwards = session->dataTask(testing::get(url("http", "/ok")), late.handler());
    }
    EXPECT_EQ(testing::codeOf(inFlight.first(5s)), static_cast<long>(HttpErrorCode::Cancelled));
    afterwards->resume();
    EXPECT_EQ(testing::codeOf(late.first(5s)), static_cast<long>(HttpErrorCode::Cancelled));
    EXPECT_EQ(inFlight.count(), 1u);
}

TEST(HttpSessionWinHttp, completionsRunOnTheSessionsOneThread) {
    const auto session = platform::makeWinHttpSession();
    std::vector<std::unique_ptr<Completions>> all;
    for (int i = 0; i < 6; ++i) {
        all.push_back(std::make_unique<Completions>());
        session->dataTask(testing::get(url("http", i % 2 ? "/ok" : "/redirect/2")),
                          all.back()->handler())
            ->resume();
    }
    const std::thread::id first = all.front()->first().thread;
    for (const auto& completions : all) {
        const auto call = completions->first();
        EXPECT_EQ(call.thread, first);
        EXPECT_EQ(call.body.value_or(""), "hello");
    }
    EXPECT_NE(first, std::this_thread::get_id());
}

} // namespace
} // namespace zibbles

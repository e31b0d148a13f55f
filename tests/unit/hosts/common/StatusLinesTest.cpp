// The hosts' status lines: what each kind of failure is called, when a line is written (three
// failures in a row, then at most once a minute, then once on recovery), and the silence of a run
// that brings figures. The loopback cases run the whole way: real session, real view, the
// environment as a host makes it.

#include "Zibbles/ZibblesBounceView.h"
#include "Zibbles/supply/FetchCompletion.h"
#include "hosts/common/HostEnvironment.h"
#include "hosts/common/StatusReporter.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/TokenFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <sys/wait.h>
#include <thread>

namespace zibbles {
namespace {

using host::RequestOutcome;
using testing::LoopbackServer;
using Kind = RequestOutcome::Kind;

std::string rpcError(const char* message) {
    return std::string(R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":")") + message +
           R"("}})";
}

// The kinds a loopback server cannot stage here; the others run against one below.
TEST(StatusOutcome, namesEachKindOfFailureInWords) {
    using platform::HttpError;
    using platform::HttpErrorCode;
    const auto error = [](HttpErrorCode code) {
        return std::optional<HttpError>(HttpError{static_cast<long>(code), "detail"});
    };
    struct Case {
        const char* name;
        std::optional<std::string> body;
        long status;
        std::optional<HttpError> error;
        Kind kind;
        std::string words;
    } cases[] = {
        {"no host", {}, 0, error(HttpErrorCode::CannotFindHost), Kind::Failure, "host not found"},
        {"timeout", {}, 0, error(HttpErrorCode::TimedOut), Kind::Failure, "timed out after 12 s"},
        {"untrusted",
         {},
         0,
         error(HttpErrorCode::ServerCertificateUntrusted),
         Kind::Failure,
         "TLS certificate not trusted"},
        {"cancelled", {}, 0, error(HttpErrorCode::Cancelled), Kind::Cancelled, ""},
        {"figure", testing::tokenUriAnswer(7), 200, {}, Kind::Figure, ""},
        // The fetch reads the body whatever the status, so the lines do too.
        {"figure despite status", testing::tokenUriAnswer(7), 500, {}, Kind::Figure, ""},
    };
    const std::string url = "http://127.0.0.1:9/";
    for (const Case& c : cases) {
        const std::optional<platform::HttpResponse> response =
            c.error ? std::nullopt : std::optional(platform::HttpResponse{c.status});
        // The figure is judged as the fetch judges it.
        const auto decoded = decodeAnswer(7, c.body);
        const RequestOutcome outcome = host::outcomeOf(platform::FetchOutcome{
            url, 12.0, c.body, response, c.error, !c.error && decoded, decoded.error.message});
        EXPECT_EQ(outcome.kind, c.kind) << c.name;
        EXPECT_NE(outcome.failure.find(c.words), std::string::npos)
            << c.name << ": " << outcome.failure;
    }
}

// The reporter alone, on a virtual clock: 'F' a failure, 'o' a figure, '+' one second passes.
std::vector<std::string> reportOf(std::string_view script) {
    auto clock = std::make_shared<platform::VirtualClock>(14 * 3600 + 2 * 60);
    std::vector<std::string> lines;
    host::StatusReporter reporter(clock, host::timeOfDayOf(clock),
                                  [&lines](const std::string& line) { lines.push_back(line); });
    for (const char step : script) {
        if (step == '+')
            clock->advanceTo(clock->now() + 1.0);
        else
            reporter.note({step == 'o' ? Kind::Figure : Kind::Failure, "http://x/", "refused"});
    }
    return lines;
}

TEST(StatusReporter, writesOnlyWhenFailuresGoOn) {
    const std::string minute(60, '+');
    struct Case {
        const char* name;
        std::string script;
        std::vector<std::string> lines;
    } cases[] = {
        {"healthy", "ooooo+ooo", {}},
        {"odd tokens among good ones", "oFooFFoFoo", {}},
        {"three in a row",
         "FFF",
         {"no figures from http://x/: refused (3 requests failed in a row); will try again"}},
        {"nothing more within the minute", "FFFF" + std::string(59, '+') + "FFFF", {""}},
        {"one reminder a minute",
         "FFF" + minute + "FF" + minute.substr(30) + "F" + minute + "F",
         {"", "still no figures: 4 requests failed since 14:02",
          "still no figures: 7 requests failed since 14:02"}},
        {"recovery once", "FFFFoo", {"", "figures again from http://x/ after 4 failed requests"}},
        {"a short streak needs no recovery line", "FFoFFoFF", {}},
    };
    for (const Case& c : cases) {
        const auto lines = reportOf(c.script);
        ASSERT_EQ(lines.size(), c.lines.size()) << c.name;
        for (std::size_t i = 0; i < lines.size(); ++i)
            EXPECT_TRUE(c.lines[i].empty() || lines[i] == c.lines[i]) << c.name << ": " << lines[i];
    }
}

// A host's environment on virtual time, asking the given endpoint, with its lines kept.
class StatusLinesOnLoopback : public ::testing::Test {
  protected:
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(0.0);
    std::shared_ptr<std::vector<std::string>> lines = std::make_shared<std::vector<std::string>>();
    std::optional<platform::Environment> environment;
    std::shared_ptr<ZibblesBounceView> view;

    void start(const std::string& endpoint, double timeout = 0.0) {
        auto made = host::makeEnvironment(
            {clock, 5, 1.0, host::Network::Real, std::nullopt, endpoint,
             [lines = lines](const std::string& line) { lines->push_back(line); }});
        ASSERT_TRUE(made.environment) << made.error;
        environment = std::move(made.environment);
        environment->requestTimeoutOverride = timeout;
        view = ZibblesBounceView::initWithFrame(*environment, {{0, 0}, {640, 400}}, false);
        view->startAnimation();
    }
    // Runs the main queue, virtual time standing still, until done() or 10 s of real time.
    template <typename Done> bool pumpUntil(Done done) {
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < giveUp) {
            environment->mainQueue->runDueTasks();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return done();
    }
    bool firstLineHolds(const std::string& words) {
        return pumpUntil([&] { return !lines->empty(); }) &&
               lines->front().find(words) != std::string::npos;
    }
    void TearDown() override {
        if (view)
            view->stopAnimation();
    }
};

TEST_F(StatusLinesOnLoopback, aClosedPortIsReportedFromTheFirstFetches) {
    testing::RefusingPort closed;
    start(closed.url("/rpc"));
    EXPECT_TRUE(firstLineHolds("no figures from " + closed.url("/rpc") + ": connection refused"))
        << (lines->empty() ? "no line" : lines->front());
}

TEST_F(StatusLinesOnLoopback, eachAnswerThatIsNoFigureIsNamed) {
    struct Case {
        const char* name;
        int status;
        std::string body;
        std::string words;
    } cases[] = {
        {"status", 500, "", "HTTP status 500"},
        {"rate limit", 429, "", "the endpoint is limiting requests (HTTP 429)"},
        {"rpc limit", 200, R"({"jsonrpc":"2.0","id":1,"error":{"code":-32005,"message":"x"}})",
         "the endpoint is limiting requests (JSON-RPC -32005 limit exceeded)"},
        {"rpc error", 200, rpcError("execution reverted: gone"), "execution reverted: gone"},
        {"not a figure", 200, R"({"jsonrpc":"2.0","id":1,"result":"0xzz"})", "ABI"},
    };
    for (const Case& c : cases) {
        LoopbackServer server;
        server.handle([&c](const httplib::Request&, httplib::Response& response) {
            response.status = c.status;
            response.set_content(c.body, "application/json");
        });
        lines->clear();
        start(server.url("/rpc"));
        EXPECT_TRUE(firstLineHolds(c.words))
            << c.name << ": " << (lines->empty() ? "no line" : lines->front());
        view->stopAnimation();
    }
}

TEST_F(StatusLinesOnLoopback, aServerThatNeverAnswersTimesOut) {
    LoopbackServer server;
    server.handle([&server](const httplib::Request&, httplib::Response&) { server.stall(); });
    start(server.url("/rpc"), 0.3);
    EXPECT_TRUE(firstLineHolds("timed out after 0.3 s"));
}

TEST_F(StatusLinesOnLoopback, figuresReturningGiveOneLineAndAHealthyRunNone) {
    LoopbackServer server;
    server.handle(
        [](const httplib::Request&, httplib::Response& response) { response.status = 502; });
    start(server.url("/rpc"));
    ASSERT_TRUE(pumpUntil([&] { return !lines->empty(); }));
    auto answered = std::make_shared<std::atomic<int>>(0);
    server.handle([answered](const httplib::Request&, httplib::Response& response) {
        // One odd token that does not decode must not bring the lines back.
        response.set_content(++*answered == 3 ? std::string(R"({"result":"0x"})")
                                              : testing::tokenUriAnswer(7),
                             "application/json");
    });
    environment->mainQueue->advanceBy(2.0); // the retry
    ASSERT_TRUE(pumpUntil([&] { return lines->size() >= 2; }));
    EXPECT_NE((*lines)[1].find("figures again from " + server.url("/rpc")), std::string::npos)
        << (*lines)[1];
    for (int i = 0; i < 40; ++i) { // many legs and swaps, each fetching
        environment->mainQueue->advanceBy(1.0);
        pumpUntil([&] { return view->pending.empty(); });
    }
    EXPECT_TRUE(view->current);
    EXPECT_EQ(lines->size(), 2u) << lines->back();
}

struct RenderRun {
    int status;
    std::string err;
};

RenderRun renderAgainst(const std::string& endpoint, const std::string& arguments) {
    const std::string command = std::string(ZIBBLES_BINARY_DIR) +
                                "/hosts/zibbles-render --size 64x64 --fps 5 --endpoint " +
                                endpoint + " " + arguments + " 2>&1";
    RenderRun run{-1, {}};
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
            run.err.append(buffer, n);
        const int raw = ::pclose(pipe);
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return run;
}

std::size_t count(const std::string& text, const std::string& words) {
    std::size_t n = 0;
    for (auto at = text.find(words); at != std::string::npos; at = text.find(words, at + 1))
        ++n;
    return n;
}

TEST(StatusLinesOfTheHeadlessHost, aClosedPortIsReportedOnceThenOnceAMinute) {
    testing::RefusingPort closed;
    // Real time: the report must come within the first two seconds.
    const RenderRun quick = renderAgainst(closed.url(), "--seconds 2");
    EXPECT_EQ(count(quick.err,
                    "zibbles-render: no figures from " + closed.url() + ": connection refused"),
              1u)
        << quick.err;
    // Three and a half virtual minutes: the report and three reminders.
    const RenderRun slow = renderAgainst(closed.url(), "--virtual-time --seconds 210");
    EXPECT_EQ(count(slow.err, "no figures from"), 1u) << slow.err;
    EXPECT_EQ(count(slow.err, "still no figures: "), 3u) << slow.err;
    EXPECT_EQ(count(slow.err, "failed since 00:00"), 3u) << slow.err;
    const RenderRun quiet = renderAgainst(closed.url(), "--virtual-time --seconds 70 --quiet");
    EXPECT_EQ(count(quiet.err, "figures"), 0u) << quiet.err;
    EXPECT_EQ(quiet.status, 0);
}

} // namespace
} // namespace zibbles

// What counts as an endpoint refusing, the wait it asks for and its words: one table of answers
// as providers give them, and answers that look alike but are about the token.

#include "hosts/common/Refusal.h"
#include "tests/support/TokenFixtures.h"

#include <gtest/gtest.h>

namespace zibbles {
namespace {

std::string rpcError(const std::string& error) {
    return R"({"jsonrpc":"2.0","id":1,"error":)" + error + "}";
}

TEST(Refusal, tellsRefusalsFromAnswersWithTheirWaitAndWords) {
    // Sun, 06 Nov 1994 08:49:37 GMT
    const auto now = std::chrono::system_clock::from_time_t(784111777);
    const std::string limited = "the endpoint is limiting requests";
    struct Case {
        const char* name;
        long status;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        bool refused;
        std::optional<double> wait;
        std::string words;
    } cases[] = {
        {"429 alone", 429, {}, "Too Many Requests", true, {}, limited + " (HTTP 429)"},
        {"429 in seconds", 429, {{"Retry-After", " 3 "}}, "", true, 3.0, limited + " (HTTP 429)"},
        {"lower-case name", 429, {{"retry-after", "0"}}, "", true, 0.0, ""},
        {"IMF date",
         503,
         {{"Retry-After", "Sun, 06 Nov 1994 08:50:07 GMT"}},
         "",
         true,
         30.0,
         "the endpoint is unavailable for now (HTTP 503)"},
        {"RFC 850 date",
         429,
         {{"Retry-After", "Sunday, 06-Nov-94 08:49:47 GMT"}},
         "",
         true,
         10.0,
         ""},
        {"asctime date", 429, {{"Retry-After", "Sun Nov  6 08:49:39 1994"}}, "", true, 2.0, ""},
        {"a date gone by",
         429,
         {{"Retry-After", "Sat, 05 Nov 1994 08:49:37 GMT"}},
         "",
         true,
         0.0,
         ""},
        {"digits without end",
         429,
         {{"Retry-After", std::string(400, '9')}},
         "",
         true,
         86400.0,
         ""},
        {"unreadable Retry-After", 429, {{"Retry-After", "soon"}}, "", true, {}, ""},
        {"negative Retry-After", 429, {{"Retry-After", "-5"}}, "", true, {}, ""},
        {"proxy 502", 502, {}, "<html>", true, {}, "(HTTP 502)"},
        {"proxy 504", 504, {}, "", true, {}, "(HTTP 504)"},
        {"-32005 in a 200",
         200,
         {},
         rpcError(R"({"code":-32005,"message":"limit exceeded","data":{"backoff_seconds":1.5}})"),
         true,
         1.5,
         limited + " (JSON-RPC -32005 limit exceeded)"},
        {"-32029 without data",
         200,
         {},
         rpcError(R"({"code":-32029,"message":"slow down"})"),
         true,
         {},
         limited + " (JSON-RPC -32029 too many requests)"},
        {"Retry-After before backoff_seconds",
         200,
         {{"Retry-After", "4"}},
         rpcError(R"({"code":-32005,"data":{"backoff_seconds":9}})"),
         true,
         4.0,
         "-32005"},
        {"a 503 naming the limit",
         503,
         {},
         rpcError(R"({"code":-32005,"data":{"backoff_seconds":-1}})"),
         true,
         {},
         "-32005"},
        {"a 429 naming the limit", 429, {}, rpcError(R"({"code":-32005})"), true, {}, "HTTP 429"},
        {"backoff that is no number",
         200,
         {},
         rpcError(R"({"code":-32005,"data":{"backoff_seconds":"2"}})"),
         true,
         {},
         ""},
        // About the token, or about nothing at all: not refusals.
        {"a figure", 200, {{"Retry-After", "1"}}, testing::tokenUriAnswer(7), false, {}, ""},
        {"a revert",
         200,
         {},
         rpcError(R"({"code":3,"message":"execution reverted"})"),
         false,
         {},
         ""},
        {"a code as text", 200, {}, rpcError(R"({"code":"-32005"})"), false, {}, ""},
        {"a code as a fraction", 200, {}, rpcError(R"({"code":-32005.5})"), false, {}, ""},
        {"the code at the top", 200, {}, R"({"code":-32005,"error":"-32005"})", false, {}, ""},
        {"not JSON", 200, {}, R"({"error":{"code":-32005)", false, {}, ""},
        {"server error", 500, {{"Retry-After", "1"}}, "", false, {}, ""},
        {"not found", 404, {}, "", false, {}, ""},
    };
    for (const Case& c : cases) {
        const auto refusal =
            host::refusalOf(platform::HttpResponse{c.status, c.headers}, c.body, now);
        ASSERT_EQ(refusal.has_value(), c.refused) << c.name;
        if (!refusal)
            continue;
        EXPECT_EQ(refusal->waitSeconds, c.wait) << c.name;
        EXPECT_NE(refusal->words.find(c.words), std::string::npos)
            << c.name << ": " << refusal->words;
    }
}

} // namespace
} // namespace zibbles

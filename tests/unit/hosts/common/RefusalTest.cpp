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
    const auto now = std::chrono::system_clock::from_time_t(784111777); // 06 Nov 1994 08:49:37
    const std::string nines(400, '9');
    const char* const notRefused = nullptr;
    struct Case {
        const char* name;
        long status;
        std::string retryAfter; // empty: none
        std::string body;
        std::optional<double> wait;
        const char* words; // part of them
    } cases[] = {
        {"429 alone", 429, "", "Too Many", {}, "the endpoint is limiting requests (HTTP 429)"},
        {"429 in seconds", 429, " 3 ", "", 3.0, "(HTTP 429)"},
        {"IMF date", 503, "Sun, 06 Nov 1994 08:50:07 GMT", "", 30.0,
         "the endpoint is unavailable for now (HTTP 503)"},
        {"RFC 850 date", 429, "Sunday, 06-Nov-94 08:49:47 GMT", "", 10.0, ""},
        {"asctime date", 429, "Sun Nov  6 08:49:39 1994", "", 2.0, ""},
        {"a date gone by", 429, "Sat, 05 Nov 1994 08:49:37 GMT", "", 0.0, ""},
        {"digits without end", 429, nines, "", 86400.0, ""},
        {"unreadable", 429, "soon", "", {}, ""},
        {"negative", 429, "-5", "", {}, ""},
        {"proxy 502", 502, "", "<html>", {}, "(HTTP 502)"},
        {"proxy 504", 504, "", "", {}, "(HTTP 504)"},
        {"-32005 in a 200", 200, "",
         rpcError(R"({"code":-32005,"message":"x","data":{"backoff_seconds":1.5}})"), 1.5,
         "the endpoint is limiting requests (JSON-RPC -32005 limit exceeded)"},
        {"-32029 alone",
         200,
         "",
         rpcError(R"({"code":-32029})"),
         {},
         "(JSON-RPC -32029 too many requests)"},
        {"Retry-After first", 200, "4", rpcError(R"({"code":-32005,"data":{"backoff_seconds":9}})"),
         4.0, "-32005"},
        {"a 503 naming the limit",
         503,
         "",
         rpcError(R"({"code":-32005,"data":{"backoff_seconds":-1}})"),
         {},
         "-32005"},
        {"a 429 naming the limit", 429, "", rpcError(R"({"code":-32005})"), {}, "(HTTP 429)"},
        {"backoff as text",
         200,
         "",
         rpcError(R"({"code":-32005,"data":{"backoff_seconds":"2"}})"),
         {},
         ""},
        // About the token, or about nothing at all: not refusals.
        {"a figure", 200, "1", testing::tokenUriAnswer(7), {}, notRefused},
        {"a revert",
         200,
         "",
         rpcError(R"({"code":3,"message":"execution reverted"})"),
         {},
         notRefused},
        {"a code as text", 200, "", rpcError(R"({"code":"-32005"})"), {}, notRefused},
        {"a code as a fraction", 200, "", rpcError(R"({"code":-32005.5})"), {}, notRefused},
        {"the code outside", 200, "", R"({"code":-32005,"error":"-32005"})", {}, notRefused},
        {"not JSON", 200, "", R"({"error":{"code":-32005)", {}, notRefused},
        {"server error", 500, "1", "", {}, notRefused},
    };
    for (const Case& c : cases) {
        platform::HttpResponse response{c.status};
        if (!c.retryAfter.empty())
            response.allHeaderFields = {{"Retry-After", c.retryAfter}};
        const auto refusal = host::refusalOf(response, c.body, now);
        ASSERT_EQ(refusal.has_value(), c.words != notRefused) << c.name;
        if (!refusal)
            continue;
        EXPECT_EQ(refusal->waitSeconds, c.wait) << c.name;
        EXPECT_NE(refusal->words.find(c.words), std::string::npos)
            << c.name << ": " << refusal->words;
    }
}

} // namespace
} // namespace zibbles

#include "hosts/common/Refusal.h"

#include <simdjson.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>

namespace zibbles::host {

namespace {

// A wait longer than this is taken as this: a date years ahead, or digits without end, would
// otherwise overflow the arithmetic of whoever waits.
constexpr double longestWaitSeconds = 24.0 * 3600.0;

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The three forms of HTTP date a recipient must accept. They are written in English whatever the
// locale, so they are read in the classic one; the fields are UTC, and the calendar arithmetic is
// the standard library's, on every system alike.
std::optional<std::time_t> httpDate(const std::string& text) {
    for (const char* format :
         {"%a, %d %b %Y %H:%M:%S GMT", "%A, %d-%b-%y %H:%M:%S GMT", "%a %b %e %H:%M:%S %Y"}) {
        std::tm parts{};
        std::istringstream in(text);
        in.imbue(std::locale::classic());
        in >> std::get_time(&parts, format);
        if (in.fail() || in.peek() != std::char_traits<char>::eof())
            continue;
        using namespace std::chrono;
        const year_month_day date{year{parts.tm_year + 1900}, month(parts.tm_mon + 1),
                                  day(parts.tm_mday)};
        if (!date.ok())
            continue;
        const auto at =
            sys_days{date} + hours{parts.tm_hour} + minutes{parts.tm_min} + seconds{parts.tm_sec};
        return static_cast<std::time_t>(at.time_since_epoch().count());
    }
    return std::nullopt;
}

// Retry-After: a number of seconds, or the date to wait for.
std::optional<double> retryAfterSeconds(std::string_view value,
                                        std::chrono::system_clock::time_point now) {
    value = trimmed(value);
    if (value.empty())
        return std::nullopt;
    if (value.find_first_not_of("0123456789") == std::string_view::npos) {
        double seconds = 0.0;
        for (const char digit : value)
            seconds = std::min(seconds * 10.0 + (digit - '0'), longestWaitSeconds);
        return seconds;
    }
    const auto date = httpDate(std::string(value));
    if (!date)
        return std::nullopt;
    const double ahead =
        static_cast<double>(*date) - std::chrono::duration<double>(now.time_since_epoch()).count();
    return std::clamp(ahead, 0.0, longestWaitSeconds);
}

struct RpcLimit {
    std::int64_t code = 0;
    std::optional<double> backoffSeconds;
};

// The body's JSON-RPC error when its code is one that providers use for "too many requests".
std::optional<RpcLimit> rpcLimitOf(std::string_view body) {
    // Most answers are results; they need no parse of their own to say so.
    if (body.find("\"error\"") == std::string_view::npos)
        return std::nullopt;
    const simdjson::padded_string padded(body);
    simdjson::dom::parser parser;
    simdjson::dom::object error;
    if (parser.parse(padded)["error"].get_object().get(error))
        return std::nullopt;
    RpcLimit limit;
    if (error["code"].get_int64().get(limit.code) || (limit.code != -32005 && limit.code != -32029))
        return std::nullopt;
    double backoff = 0.0;
    if (!error["data"]["backoff_seconds"].get_double().get(backoff) && std::isfinite(backoff) &&
        backoff >= 0.0)
        limit.backoffSeconds = std::min(backoff, longestWaitSeconds);
    return limit;
}

std::optional<std::string> statusWords(long status) {
    switch (status) {
    case 429:
        return "the endpoint is limiting requests (HTTP 429)";
    case 502:
        return "the endpoint's proxy had no answer from it (HTTP 502)";
    case 503:
        return "the endpoint is unavailable for now (HTTP 503)";
    case 504:
        return "the endpoint's proxy timed out waiting for it (HTTP 504)";
    default:
        return std::nullopt;
    }
}

} // namespace

std::optional<Refusal> refusalOf(const platform::HttpResponse& response, std::string_view body,
                                 std::chrono::system_clock::time_point now) {
    const std::optional<RpcLimit> rpc = rpcLimitOf(body);
    std::optional<std::string> words = statusWords(response.statusCode);
    // A limit the node names is more telling than a proxy's busy status, but not than a 429.
    if (rpc && response.statusCode != 429)
        words = "the endpoint is limiting requests (JSON-RPC " + std::to_string(rpc->code) +
                (rpc->code == -32005 ? " limit exceeded)" : " too many requests)");
    if (!words)
        return std::nullopt;
    Refusal refusal{std::nullopt, std::move(*words)};
    if (const auto header = response.valueForHTTPHeaderField("Retry-After"))
        refusal.waitSeconds = retryAfterSeconds(*header, now);
    if (!refusal.waitSeconds && rpc)
        refusal.waitSeconds = rpc->backoffSeconds;
    return refusal;
}

} // namespace zibbles::host

#pragma once

// An endpoint that refuses to answer now is not saying anything about the token asked. Public
// JSON-RPC endpoints refuse in three ways: HTTP 429 (often with Retry-After), HTTP 503 (502 and
// 504 from a proxy in front), or a JSON-RPC error -32005 ("limit exceeded") or -32029 in the
// body, whatever the status, sometimes with data.backoff_seconds. The inspector asks again; the
// saver's status lines name it for people.

#include "platform/HttpSession.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace zibbles::host {

struct Refusal {
    // What the endpoint asked for: Retry-After (seconds, or an HTTP date taken against now),
    // else data.backoff_seconds; absent when it said nothing. Never negative.
    std::optional<double> waitSeconds;
    // For people: "the endpoint is limiting requests (HTTP 429)".
    std::string words;
};

// Any thread. Pure: the same answer and moment give the same result. Absent when the answer is
// not a refusal; a body that is not JSON, or JSON of any other shape, is not one by itself.
std::optional<Refusal> refusalOf(const platform::HttpResponse& response, std::string_view body,
                                 std::chrono::system_clock::time_point now);

} // namespace zibbles::host

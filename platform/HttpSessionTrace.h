#pragma once

// What every URL session writes to the platform's trace about its requests, in the same words
// whichever system's HTTP stack carries them: "request.sent" {token, url} and "request.finished"
// {token, outcome, status, bytes, ms}, outcome one of "ok", "cancelled", "timeout", "error".

#include "platform/HttpSession.h"

#include <cstddef>
#include <optional>

namespace zibbles::platform {

// Any thread. Nothing without a trace.
void traceRequestSent(Trace* trace, const HttpRequest& request);
void traceRequestFinished(Trace* trace, const HttpRequest& request,
                          const std::optional<HttpError>& error, long status, std::size_t bytes,
                          double milliseconds);

} // namespace zibbles::platform

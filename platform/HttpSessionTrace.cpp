#include "platform/HttpSessionTrace.h"

#include "platform/Trace.h"

namespace zibbles::platform {

namespace {

const char* outcomeName(const std::optional<HttpError>& error) {
    if (!error)
        return "ok";
    if (error->is(HttpErrorCode::Cancelled))
        return "cancelled";
    if (error->is(HttpErrorCode::TimedOut))
        return "timeout";
    return "error";
}

} // namespace

void traceRequestSent(Trace* trace, const HttpRequest& request) {
    if (!trace)
        return;
    trace->record("request.sent", "\"token\":" + Trace::quote(request.traceLabel) +
                                      ",\"url\":" + Trace::quote(request.url));
}

void traceRequestFinished(Trace* trace, const HttpRequest& request,
                          const std::optional<HttpError>& error, long status, std::size_t bytes,
                          double milliseconds) {
    if (!trace)
        return;
    const auto ms = static_cast<long long>(milliseconds + 0.5);
    trace->record("request.finished",
                  "\"token\":" + Trace::quote(request.traceLabel) + ",\"outcome\":\"" +
                      outcomeName(error) + "\",\"status\":" + std::to_string(status) +
                      ",\"bytes\":" + std::to_string(bytes) + ",\"ms\":" + std::to_string(ms));
}

} // namespace zibbles::platform

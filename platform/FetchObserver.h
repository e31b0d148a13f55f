#pragma once

// What each fetch of a figure brought, as the fetch itself judged it, for a host that tells people
// why no figure comes. The module only hands on its own verdict; it words nothing.
// Implemented features:
//  [X] One call per completed fetch whose view still exists, cancelled ones included, on the URL
//      session's thread, before the fetch's result is posted to the main queue.
//  [X] The request's URL and timeout, the status, the transport error, the body, and whether the
//      answer was a figure (with the decoders' reason when it was not).
//  [ ] Changing what the fetch does: the observer only looks.

#include "platform/HttpSession.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zibbles::platform {

struct FetchOutcome {
    const std::string& url;
    double timeoutSeconds;
    const std::optional<std::string>& body;
    const std::optional<HttpResponse>& response;
    const std::optional<HttpError>& error;
    bool figure;                // the answer decoded to a figure
    std::string_view notFigure; // when it did not: the decoders' words for why
};

// Must return quickly and keep none of the references.
using FetchObserver = std::function<void(const FetchOutcome& outcome)>;

} // namespace zibbles::platform

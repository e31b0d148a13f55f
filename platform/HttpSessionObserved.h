#pragma once

// A URL session that lets a host watch every request finish, as the trace does, without the
// module knowing: the hosts' status lines learn from it why no figure comes.
// Implemented features:
//  [X] Wraps any session; each completion first shows the observer what finished (the request's
//      URL and timeout, the status, the error, the body), then runs as it would have.
//  [X] The observer runs on the session's thread, once per completion, cancelled ones included.
//  [ ] Changing what the caller receives: the observer only looks.

#include "platform/HttpSession.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zibbles::platform {

struct FinishedRequest {
    const std::string& url;
    double timeoutSeconds;
    const std::optional<std::string>& body;
    const std::optional<HttpResponse>& response;
    const std::optional<HttpError>& error;
};

// Called on the session's thread; must return quickly and keep nothing of the references.
using RequestObserver = std::function<void(const FinishedRequest& finished)>;

// Any thread.
std::shared_ptr<HttpSession> observeRequests(std::shared_ptr<HttpSession> session,
                                             RequestObserver observer);

} // namespace zibbles::platform

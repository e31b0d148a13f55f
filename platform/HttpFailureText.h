#pragma once

// A failed request in the words people read in status lines and the inspector's errors:
// "connection refused", "host not found", "timed out after 12 s", "TLS certificate not trusted",
// "HTTP status 503". Hosts and tools only; the module never shows these.

#include "platform/HttpSession.h"

#include <string>

namespace zibbles::platform {

// The transport's failure; timeoutSeconds is the request's timeout interval, named by a time-out.
std::string describeHttpError(const HttpError& error, double timeoutSeconds);
// An answer whose status is not 2xx.
std::string describeHttpStatus(long statusCode);

} // namespace zibbles::platform

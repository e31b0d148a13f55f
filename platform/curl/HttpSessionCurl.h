#pragma once

// The URL session over libcurl's multi interface.
// Implemented features:
//  [X] One session thread runs every transfer and every completion; resume and cancel post to it
//      and wake it, so both return at once from any thread.
//  [X] The idle timeout is measured from the last byte in either direction with a monotonic
//      clock, so fractions of a second work; connecting counts as idle. Bytes that reach the
//      socket of a connection the transfer opened count even before curl can hand them over
//      (a status line dripping in), read from the kernel's TCP counters.
//  [X] All bodies held at once are capped at 24 MiB together, besides 16 MiB each, so a server
//      answering every request in flight with a huge body holds no more than that.
//  [X] http and https only; TLS peers and host names verified against the system store, or
//      against SSL_CERT_FILE when it is set (read once, when the session is made).
//  [X] Destroying the session cancels what still runs (each completion runs once, with
//      Cancelled) and joins the thread. A task resumed after that completes at once, on the
//      caller's thread, with Cancelled.
//  [X] Trace: "request.sent" {token, url} and "request.finished" {token, outcome, status, bytes,
//      ms}, outcome one of "ok", "cancelled", "timeout", "error".
//  [X] Redirects, compression, HTTP/2 and kept connections (up to 16, reused between tasks) and
//      proxies from the environment, as HttpSession.h describes them.
//  [ ] Caching, cookies, authentication: the saver's one POST needs none of them.

#include "platform/HttpSession.h"

#include <memory>

namespace zibbles::platform {

// Any thread.
std::shared_ptr<HttpSession> makeCurlSession(std::shared_ptr<Trace> trace = nullptr);

} // namespace zibbles::platform

#pragma once

// The URL session on WinHTTP, Windows' own HTTP stack.
// Implemented features:
//  [X] One session thread runs every completion; resume and cancel post to it and return at once
//      from any thread. Each transfer's WinHTTP calls run on a worker thread of its own, so
//      transfers never wait for one another.
//  [X] The session times transfers out itself: nothing received for the request's timeout
//      interval fails with TimedOut (-1001), connecting included, and a cancel completes at once
//      with Cancelled (-999). WinHTTP's own timeouts only end a worker that a silent server holds
//      (they, and the codes they end with, differ between Windows and Wine).
//  [X] Redirects (up to 10; https never on to http), gzip and deflate (decoded here, with
//      zlib), the 16 MiB cap on a body, as HttpSession.h describes them.
//  [X] The user's proxy settings, as Windows keeps them (automatic proxy where the system has
//      it, else WinHTTP's default configuration).
//  [X] TLS peers always verified against the system's store; no security flag is ever lowered.
//  [X] Destroying the session cancels what still runs (each completion runs once, with
//      Cancelled) and joins the thread. A task resumed after that completes at once, on the
//      caller's thread, with Cancelled.
//  [X] Trace: "request.sent" and "request.finished", as the curl session writes them.
//  [ ] Activity is seen as WinHTTP hands over answers: a status line that drips in slower than
//      the timeout interval times out (the curl session reads the socket's counters instead).
//  [ ] A budget for all bodies held at once: each is capped at 16 MiB alone.
//  [ ] HTTP/2, caching, cookies, authentication: the saver's one POST needs none of them.

#include "platform/HttpSession.h"

#include <memory>

namespace zibbles::platform {

// Any thread.
std::shared_ptr<HttpSession> makeWinHttpSession(std::shared_ptr<Trace> trace = nullptr);

} // namespace zibbles::platform

#pragma once

// One transfer of the WinHTTP session: the request, the WinHTTP calls that carry it out on a
// worker thread of its own (WinHTTP's blocking calls, one transfer at a time per thread), when it
// last heard from the server, and the completion it owes. The session thread owns the outcome:
// it times the transfer out and cancels it itself, and drops what the worker brings after that.

#include "platform/HttpSession.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace zibbles::platform {

using SteadyTime = std::chrono::steady_clock::time_point;

// What a transfer brought: the body and the response, or an error.
struct TransferOutcome {
    std::optional<std::string> body;
    std::optional<HttpResponse> response;
    std::optional<HttpError> error;
};

class WinHttpTransfer {
  public:
    WinHttpTransfer(HttpRequest request, HttpCompletion completion);
    ~WinHttpTransfer();
    WinHttpTransfer(const WinHttpTransfer&) = delete;
    WinHttpTransfer& operator=(const WinHttpTransfer&) = delete;

    const HttpRequest& request() const { return request_; }
    double timeoutSeconds() const { return timeoutSeconds_; }

    // Worker thread. Sends the request on the WinHTTP session handle and reads the whole answer;
    // blocks until it is in, or until abandon().
    TransferOutcome perform(void* session);
    // Any thread. Closes the request's handles, so that a blocking call on the worker returns;
    // the worker then gives up. WinHTTP may take a while to let go (under Wine, until the server
    // answers): nobody waits for that.
    void abandon();

    // Any thread. When it will have heard nothing for its timeout interval.
    SteadyTime idleDeadline() const;
    double millisecondsSinceStart() const;

    // Any thread. Runs the completion the first time only, then lets it go.
    void complete(TransferOutcome outcome);

    std::atomic<bool> resumed{false};
    std::atomic<bool> cancelRequested{false};

  private:
    struct Handles;
    // One request of the transfer: the first, or one a redirect asked for.
    struct Hop {
        std::string url;
        std::string method;
        std::string body;
    };
    static std::optional<Hop> redirectOf(const Hop& hop, long status, const std::string& location);
    // Worker thread; handles are WinHTTP's HINTERNET.
    TransferOutcome performHop(void* session, const Hop& hop, std::optional<Hop>& next);
    void configure(void* request) const;
    TransferOutcome exchange(void* request, const Hop& hop, std::optional<Hop>& next);
    TransferOutcome readAnswer(void* request, const Hop& hop, std::optional<Hop>& next);
    TransferOutcome failure(HttpErrorCode code, std::string detail) const;
    // The failure GetLastError names, or Cancelled after abandon().
    TransferOutcome lastFailure() const;
    bool abandoned() const { return abandoned_.load(); }
    void touch();

    HttpRequest request_;
    HttpCompletion completion_;
    std::atomic<bool> completed_{false};
    double timeoutSeconds_ = 60.0;
    SteadyTime started_;
    std::atomic<SteadyTime::rep> lastActivity_;
    std::atomic<bool> abandoned_{false};
    std::mutex handlesMutex_;
    std::unique_ptr<Handles> handles_; // guarded by handlesMutex_
};

} // namespace zibbles::platform

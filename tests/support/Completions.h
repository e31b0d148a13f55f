#pragma once

// What the URL session tests share: every call of a task's completion, and requests made short.

#include "platform/HttpSession.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zibbles::testing {

using platform::HttpCompletion;
using platform::HttpError;
using platform::HttpRequest;
using platform::HttpResponse;

// Every call of one task's completion, and where it ran.
class Completions {
  public:
    HttpCompletion handler() {
        return [this](std::optional<std::string> body, std::optional<HttpResponse> response,
                      std::optional<HttpError> error) {
            std::lock_guard lock(mutex_);
            calls_.push_back(
                {std::move(body), response, std::move(error), std::this_thread::get_id()});
            done_.notify_all();
        };
    }

    struct Call {
        std::optional<std::string> body;
        std::optional<HttpResponse> response;
        std::optional<HttpError> error;
        std::thread::id thread;
    };

    // The first call, waiting at most bound for it; fails the test when none comes.
    Call first(std::chrono::milliseconds bound = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        if (!done_.wait_for(lock, bound, [&] { return !calls_.empty(); })) {
            ADD_FAILURE() << "the completion never ran";
            return {};
        }
        return calls_.front();
    }
    std::size_t count() const {
        std::lock_guard lock(mutex_);
        return calls_.size();
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable done_;
    std::vector<Call> calls_;
};

inline HttpRequest get(std::string url, double timeout = 10.0) {
    HttpRequest request;
    request.url = std::move(url);
    request.timeoutInterval = timeout;
    return request;
}

inline long codeOf(const Completions::Call& call) {
    return call.error ? call.error->code : 0;
}

} // namespace zibbles::testing

#pragma once

// Ctrl-C as an event instead of an end: while a watch exists SIGINT is blocked in this thread and
// in every thread started after it, and a watcher thread of its own takes the signal and calls
// onInterrupt. A second Ctrl-C ends the process at once, with status 130.

#include <atomic>
#include <functional>
#include <thread>

#include <signal.h>

namespace zibbles::inspect {

class InterruptWatch {
  public:
    // Main thread, before any other thread is started, so that none of them takes the signal.
    explicit InterruptWatch(std::function<void()> onInterrupt);
    ~InterruptWatch();
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Any thread.
    bool interrupted() const { return interrupted_; }

  private:
    void watch();

    std::function<void()> onInterrupt_;
    sigset_t previousMask_{};
    std::atomic<bool> interrupted_{false};
    std::atomic<bool> finishing_{false};
    std::thread watcher_;
};

} // namespace zibbles::inspect

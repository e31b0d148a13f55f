#pragma once

// The wait of a window's message loop, and its wake from any thread: the main queue's posts set
// an event that the loop waits on beside its messages, so a post from the URL session's thread
// ends the wait at once, without a message that a full queue could lose.

#include <functional>

namespace zibbles::platform {

class MessageLoopWake {
  public:
    MessageLoopWake();
    ~MessageLoopWake();
    MessageLoopWake(const MessageLoopWake&) = delete;
    MessageLoopWake& operator=(const MessageLoopWake&) = delete;

    // Any thread, while this lives. What a post to the main queue calls.
    std::function<void()> hook() const;
    // Main thread. Sleeps at most seconds, until a wake or a message for this thread's windows,
    // then dispatches every message waiting. False once WM_QUIT came.
    bool waitAndDispatch(double seconds);

  private:
    void* event_;
};

} // namespace zibbles::platform

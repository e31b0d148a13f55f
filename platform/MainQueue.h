#pragma once

// The main thread's run loop.
// Implemented features:
//  [X] async: run a task later on the main thread, in submission order. Never runs it inline.
//  [X] asyncAfter: run a task at now + delay (a longer delay never runs earlier; equal deadlines
//      run in submission order).
//  [X] Posting from any thread; a post wakes a waiting loop (and calls the wake hook, so a host
//      that sleeps in SDL_WaitEvent can be woken by pushing an event).
//  [X] Swapping the wake hook waits out every call of the previous one, so a hook may capture
//      state that its loop owns, as long as the loop clears the hook before that state goes.
//  [X] Real time (MonotonicClock): waitForWork sleeps until the next deadline or a post.
//  [X] Virtual time (VirtualClock): advanceBy runs every task due within the step, in deadline
//      order, moving the clock to each deadline in turn (a whole day runs in milliseconds).
//  [ ] Cancelling a posted task: owners hold weak references instead and do nothing when gone.

#include "platform/Clock.h"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <queue>
#include <vector>

namespace zibbles::platform {

class MainQueue {
  public:
    using Task = std::function<void()>;

    explicit MainQueue(std::shared_ptr<Clock> clock);

    // Any thread.
    void async(Task task);
    // Any thread. delaySeconds below 0 counts as 0.
    void asyncAfter(double delaySeconds, Task task);
    // Any thread but from inside a hook. Called after every post, on the posting thread; a host
    // uses it to wake its own event loop. Once this returns, no call of the previous hook is
    // running and none will start. An empty function clears the hook: that is how a loop ends.
    void setWakeHook(std::function<void()> hook);
    // Any thread. Called after every post, on the posting thread, with the delay asked for (0
    // for async); tests use it to count delayed work such as retries.
    void setPostObserver(std::function<void(double delaySeconds)> observer);

    const Clock& clock() const { return *clock_; }
    double now() const { return clock_->now(); }

    // Main thread only. Runs every task whose deadline has come (tasks posted while running, if
    // already due, run too, up to a bound so a task that reposts itself cannot starve the
    // caller). Returns how many ran.
    std::size_t runDueTasks();
    // Main thread only. The deadline of the earliest waiting task, if any.
    std::optional<double> nextDeadline() const;
    // Main thread only, real clock. Sleeps until the next deadline, a post, or maxSeconds.
    void waitForWork(double maxSeconds);
    // Main thread only, virtual clock. Runs every task due up to now + seconds, in order,
    // advancing the clock to each deadline, and leaves the clock at now + seconds.
    void advanceBy(double seconds);
    // Main thread only, virtual clock. As advanceBy, up to an absolute time.
    void advanceTo(double t);

  private:
    struct Entry {
        double deadline;
        std::uint64_t sequence;
        Task task;
    };
    struct Later {
        bool operator()(const Entry& a, const Entry& b) const {
            return a.deadline != b.deadline ? a.deadline > b.deadline : a.sequence > b.sequence;
        }
    };

    std::shared_ptr<Clock> clock_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::priority_queue<Entry, std::vector<Entry>, Later> tasks_;
    std::uint64_t nextSequence_ = 0;
    // The hook and how many posts are calling it now; a swap waits for the old one's count to
    // drop to zero while new posts call the new one, so no stream of posts can hold it up.
    struct WakeHook {
        std::function<void()> call;
        int running = 0;
    };
    std::shared_ptr<WakeHook> wakeHook_;
    std::condition_variable wakeHookIdle_;
    std::function<void(double)> postObserver_;
};

} // namespace zibbles::platform

#include "platform/MainQueue.h"

#include <cassert>
#include <chrono>
#include <cmath>

namespace zibbles::platform {

namespace {

// How many tasks one runDueTasks call runs at most, so that a task that reposts itself with no
// delay cannot keep the host's loop from drawing or reading input.
constexpr std::size_t maxTasksPerRun = 10000;

} // namespace

MainQueue::MainQueue(std::shared_ptr<Clock> clock) : clock_(std::move(clock)) {
    assert(clock_ && "MainQueue needs a clock");
}

void MainQueue::async(Task task) {
    asyncAfter(0.0, std::move(task));
}

void MainQueue::asyncAfter(double delaySeconds, Task task) {
    // Not a number counts as no delay; an infinite delay is kept and never comes due.
    const double delay = delaySeconds > 0.0 ? delaySeconds : 0.0;
    std::function<void()> hook;
    std::function<void(double)> observer;
    {
        std::lock_guard lock(mutex_);
        // The clock is read under the lock, so deadlines grow with the sequence: a later post
        // with a longer delay can never get an earlier deadline.
        tasks_.push(Entry{clock_->now() + delay, nextSequence_++, std::move(task)});
        hook = wakeHook_;
        observer = postObserver_;
    }
    wake_.notify_all();
    if (hook) {
        hook();
    }
    if (observer) {
        observer(delaySeconds);
    }
}

void MainQueue::setPostObserver(std::function<void(double delaySeconds)> observer) {
    std::lock_guard lock(mutex_);
    postObserver_ = std::move(observer);
}

void MainQueue::setWakeHook(std::function<void()> hook) {
    std::lock_guard lock(mutex_);
    wakeHook_ = std::move(hook);
}

std::size_t MainQueue::runDueTasks() {
    std::size_t ran = 0;
    while (ran < maxTasksPerRun) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            if (tasks_.empty() || tasks_.top().deadline > clock_->now()) {
                break;
            }
            // The comparator never looks at the task, so moving it out before pop is safe.
            task = std::move(const_cast<Entry&>(tasks_.top()).task);
            tasks_.pop();
        }
        if (task) {
            task();
        }
        ++ran;
    }
    return ran;
}

std::optional<double> MainQueue::nextDeadline() const {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) {
        return std::nullopt;
    }
    return tasks_.top().deadline;
}

void MainQueue::waitForWork(double maxSeconds) {
    // Virtual time never passes by waiting; the caller advances it instead.
    if (clock_->isVirtual() || !(maxSeconds > 0.0)) {
        return;
    }
    std::unique_lock lock(mutex_);
    double wait = maxSeconds;
    if (!tasks_.empty()) {
        wait = std::min(wait, tasks_.top().deadline - clock_->now());
    }
    if (!(wait > 0.0)) {
        return;
    }
    // Cap the wait so that converting it to the clock's ticks can never overflow.
    wait = std::min(wait, 3600.0);
    const std::uint64_t postsBefore = nextSequence_;
    wake_.wait_for(lock, std::chrono::duration<double>(wait),
                   [&] { return nextSequence_ != postsBefore; });
}

void MainQueue::advanceBy(double seconds) {
    advanceTo(clock_->now() + seconds);
}

void MainQueue::advanceTo(double t) {
    auto* virtualClock = dynamic_cast<VirtualClock*>(clock_.get());
    assert(virtualClock && "MainQueue::advanceTo needs a VirtualClock");
    if (virtualClock == nullptr) {
        return;
    }
    for (;;) {
        Task task;
        {
            std::lock_guard lock(mutex_);
            // The negated test stops at a target that is not a number, running nothing.
            if (tasks_.empty() || !(tasks_.top().deadline <= t)) {
                break;
            }
            virtualClock->advanceTo(tasks_.top().deadline);
            task = std::move(const_cast<Entry&>(tasks_.top()).task);
            tasks_.pop();
        }
        if (task) {
            task();
        }
    }
    virtualClock->advanceTo(t);
}

} // namespace zibbles::platform

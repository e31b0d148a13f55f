#include "platform/MainQueue.h"

#include <cassert>
#include <chrono>
#include <cmath>
#include <utility>

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
    std::shared_ptr<WakeHook> hook;
    std::function<void(double)> observer;
    {
        std::lock_guard lock(mutex_);
        // The clock is read under the lock, so deadlines grow with the sequence: a later post
        // with a longer delay can never get an earlier deadline.
        tasks_.push(Entry{clock_->now() + delay, nextSequence_++, std::move(task)});
        hook = wakeHook_;
        if (hook)
            ++hook->running;
        observer = postObserver_;
    }
    wake_.notify_all();
    if (hook) {
        // Outside the lock: a hook may post, or take a lock of the host's own.
        hook->call();
        std::lock_guard lock(mutex_);
        if (--hook->running == 0)
            wakeHookIdle_.notify_all();
        // Let go under the lock, so that the swap which waited for this call holds the last
        // reference and the hook is destroyed on the thread that swapped it out.
        hook.reset();
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
    auto next = hook ? std::make_shared<WakeHook>(WakeHook{std::move(hook), 0}) : nullptr;
    std::shared_ptr<WakeHook> previous;
    {
        std::unique_lock lock(mutex_);
        previous = std::exchange(wakeHook_, std::move(next));
        if (previous)
            wakeHookIdle_.wait(lock, [&] { return previous->running == 0; });
    }
    // previous goes here, outside the lock: what it captured may post as it is destroyed.
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

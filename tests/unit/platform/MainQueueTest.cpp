#include "platform/MainQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace zibbles::platform {
namespace {

struct VirtualQueue {
    std::shared_ptr<VirtualClock> clock = std::make_shared<VirtualClock>(0.0);
    std::shared_ptr<MainQueue> queue = std::make_shared<MainQueue>(clock);
};

TEST(MainQueue, postingNeverRunsTheTaskInline) {
    VirtualQueue q;
    int ran = 0;
    q.queue->async([&] { ++ran; });
    q.queue->asyncAfter(0.0, [&] { ++ran; });
    q.queue->asyncAfter(-3.0, [&] { ++ran; });
    EXPECT_EQ(ran, 0);
    EXPECT_EQ(q.queue->runDueTasks(), 3u);
    EXPECT_EQ(ran, 3);
}

TEST(MainQueue, runsByDeadlineThenBySubmission) {
    VirtualQueue q;
    std::vector<int> order;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // Delay, tag. Negative and not-a-number delays count as none.
    const std::vector<std::pair<double, int>> posts = {
        {2.0, 5}, {0.0, 1}, {1.0, 3}, {-1.0, 2}, {1.0, 4}, {nan, 2}, {2.0, 6},
    };
    for (const auto& [delay, tag] : posts) {
        q.queue->asyncAfter(delay, [&order, tag = tag] { order.push_back(tag); });
    }
    q.queue->advanceBy(5.0);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 2, 3, 4, 5, 6}));
}

TEST(MainQueue, aLongerDelayPostedLaterNeverRunsEarlier) {
    auto clock = std::make_shared<MonotonicClock>();
    MainQueue queue(clock);
    std::vector<int> order;
    for (int i = 0; i < 50; ++i) {
        queue.asyncAfter(1e-9 * i, [&order, i] { order.push_back(i); });
    }
    while (order.size() < 50) {
        queue.waitForWork(0.01);
        queue.runDueTasks();
    }
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[i], i);
    }
}

TEST(MainQueue, advanceByMovesTheClockToEachDeadlineAndLeavesItAtTheEnd) {
    VirtualQueue q;
    std::vector<double> seen;
    q.queue->asyncAfter(0.25, [&] { seen.push_back(q.clock->now()); });
    q.queue->asyncAfter(1.0, [&] { seen.push_back(q.clock->now()); });
    q.queue->asyncAfter(1.5, [&] { seen.push_back(q.clock->now()); });
    q.queue->advanceBy(1.0);
    EXPECT_EQ(seen, (std::vector<double>{0.25, 1.0})) << "a deadline on the step's end runs";
    EXPECT_EQ(q.clock->now(), 1.0);
    EXPECT_EQ(q.queue->nextDeadline(), 1.5);
}

TEST(MainQueue, tasksPostedDuringAStepRunWhenTheyFallDueWithinIt) {
    VirtualQueue q;
    std::vector<double> seen;
    // A chain of half-second reposts, as a bouncing view makes: 4 fall within 2 s, 1 beyond.
    std::function<void()> step = [&] {
        seen.push_back(q.clock->now());
        q.queue->asyncAfter(0.5, step);
    };
    q.queue->asyncAfter(0.5, step);
    q.queue->advanceBy(2.0);
    EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0, 1.5, 2.0}));
    q.queue->advanceBy(0.4);
    EXPECT_EQ(seen.size(), 4u);
    q.queue->advanceTo(2.5);
    EXPECT_EQ(seen.size(), 5u);
}

TEST(MainQueue, runDueTasksRunsOnlyWhatIsDue) {
    VirtualQueue q;
    int ran = 0;
    q.queue->asyncAfter(1.0, [&] { ++ran; });
    q.queue->async([&] { ++ran; });
    EXPECT_EQ(q.queue->runDueTasks(), 1u);
    EXPECT_EQ(q.queue->runDueTasks(), 0u);
    q.clock->advanceTo(1.0);
    EXPECT_EQ(q.queue->runDueTasks(), 1u);
    EXPECT_EQ(ran, 2);
    EXPECT_FALSE(q.queue->nextDeadline().has_value());
}

TEST(MainQueue, aTaskThatRepostsItselfCannotHoldRunDueTasksForever) {
    VirtualQueue q;
    std::size_t ran = 0;
    std::function<void()> again = [&] {
        ++ran;
        q.queue->async(again);
    };
    q.queue->async(again);
    const std::size_t count = q.queue->runDueTasks();
    EXPECT_GT(count, 1u) << "tasks posted while running run too when due";
    EXPECT_EQ(count, ran);
    EXPECT_TRUE(q.queue->nextDeadline().has_value());
}

TEST(MainQueue, theVirtualClockNeverMovesBackwards) {
    VirtualQueue q;
    q.queue->advanceTo(3.0);
    q.queue->advanceTo(1.0);
    q.queue->advanceTo(std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(q.clock->now(), 3.0);
    q.queue->advanceBy(-2.0);
    EXPECT_EQ(q.clock->now(), 3.0);
}

TEST(MainQueue, waitForWorkReturnsAtOnceOnVirtualTime) {
    VirtualQueue q;
    q.queue->asyncAfter(3600.0, [] {});
    const auto before = std::chrono::steady_clock::now();
    q.queue->waitForWork(3600.0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(5));
    EXPECT_EQ(q.clock->now(), 0.0);
}

TEST(MainQueue, postsFromOtherThreadsAllRunOnTheCallingThreadAndCallTheHook) {
    auto queue = std::make_shared<MainQueue>(std::make_shared<MonotonicClock>());
    std::atomic<int> hooks{0};
    queue->setWakeHook([&] { ++hooks; });
    constexpr int threads = 4;
    constexpr int perThread = 250;
    int ran = 0; // touched by the main thread only
    const auto mainThread = std::this_thread::get_id();
    bool allOnMain = true;
    std::vector<std::thread> posters;
    for (int t = 0; t < threads; ++t) {
        posters.emplace_back([&] {
            for (int i = 0; i < perThread; ++i) {
                queue->async([&] {
                    ++ran;
                    allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
                });
            }
        });
    }
    for (auto& poster : posters) {
        poster.join();
    }
    while (ran < threads * perThread) {
        queue->runDueTasks();
    }
    EXPECT_EQ(ran, threads * perThread);
    EXPECT_TRUE(allOnMain);
    EXPECT_EQ(hooks.load(), threads * perThread);
}

// What a loop's wake-up does with its hook: swap it in, then clear it (or swap in the next) and
// let the state it captured go. Posters never stop meanwhile, so a hook called after the swap
// returned, or a swap held up by the stream of posts, shows here (and as a use after free under
// the sanitizers, since each probe is freed as soon as its hook is swapped out).
TEST(MainQueue, aSwappedOutWakeHookIsNeverCalledAgain) {
    auto queue = std::make_shared<MainQueue>(std::make_shared<MonotonicClock>());
    std::atomic<bool> stop{false};
    std::atomic<long> posts{0};
    std::vector<std::thread> posters;
    for (int t = 0; t < 3; ++t)
        posters.emplace_back([&] {
            while (!stop) {
                queue->async([] {});
                ++posts;
                std::this_thread::yield();
            }
        });
    struct Probe {
        std::atomic<int> calls{0};
    };
    for (int round = 0; round < 100; ++round) {
        auto probe = std::make_unique<Probe>();
        // A hook that takes a moment (as pushing an event into a toolkit may) widens the window
        // in which a post is still inside the old hook as the swap returns.
        queue->setWakeHook([p = probe.get()] {
            std::this_thread::sleep_for(std::chrono::microseconds(20));
            ++p->calls;
        });
        const long before = posts;
        while (probe->calls == 0 && posts - before < 100000)
            queue->runDueTasks();
        EXPECT_GT(probe->calls.load(), 0) << round;
        if (round % 2)
            queue->setWakeHook(nullptr);
        else
            queue->setWakeHook([] {});
        const int callsAtSwap = probe->calls;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        EXPECT_EQ(probe->calls.load(), callsAtSwap) << round;
        probe.reset();
        queue->runDueTasks();
    }
    stop = true;
    for (auto& poster : posters)
        poster.join();
}

TEST(MainQueue, aPostFromAnotherThreadWakesAWaitingLoop) {
    auto queue = std::make_shared<MainQueue>(std::make_shared<MonotonicClock>());
    bool ran = false;
    std::thread poster([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        queue->async([&] { ran = true; });
    });
    const auto before = std::chrono::steady_clock::now();
    // Generous: only a missed wake-up would take the whole minute.
    while (!ran && std::chrono::steady_clock::now() - before < std::chrono::seconds(60)) {
        queue->waitForWork(60.0);
        queue->runDueTasks();
    }
    poster.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(30));
}

} // namespace
} // namespace zibbles::platform

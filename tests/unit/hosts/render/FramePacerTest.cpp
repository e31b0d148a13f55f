// The headless host's pacing on virtual time: as fast as the work allows, except that while
// fetches are in flight virtual time passes no faster than real time.

#include "hosts/render/RenderPacing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace zibbles::host {
namespace {

double realSecondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Paced {
    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>(0.0);
    std::shared_ptr<platform::MainQueue> queue = std::make_shared<platform::MainQueue>(clock);
    std::atomic<bool> waiting{false};
    FramePacer pacer{queue, [this] { return waiting.load(); }};
};

TEST(FramePacer, virtualTimeRunsAheadWhenNothingIsInFlight) {
    Paced paced;
    int ran = 0;
    paced.queue->asyncAfter(3600.0, [&] { ++ran; });
    const double took = realSecondsOf([&] { paced.pacer.advanceTo(7200.0); });
    EXPECT_EQ(ran, 1);
    EXPECT_EQ(paced.clock->now(), 7200.0);
    EXPECT_LT(took, 60.0); // two virtual hours, not two real ones
}

TEST(FramePacer, fetchesInFlightHoldVirtualTimeToRealTime) {
    Paced paced;
    paced.waiting = true;
    const double took = realSecondsOf([&] { paced.pacer.advanceTo(0.3); });
    EXPECT_GE(took, 0.29);
    EXPECT_EQ(paced.clock->now(), 0.3);
}

TEST(FramePacer, anAnswerEndsTheWaitAndRunsAtOnce) {
    Paced paced;
    paced.waiting = true;
    int answered = 0;
    std::thread session([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        paced.queue->async([&] {
            ++answered;
            paced.waiting = false; // the view has nothing in flight any more
        });
    });
    paced.pacer.advanceTo(3600.0);
    session.join();
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(paced.clock->now(), 3600.0);
}

} // namespace
} // namespace zibbles::host

#pragma once

// Test helpers shared by the view's suites: an environment on virtual time, with a seeded
// random source and no URL session, so that a whole run is reproducible and never waits.

#include "platform/Clock.h"
#include "platform/Environment.h"
#include "platform/MainQueue.h"
#include "platform/RandomSource.h"
#include "platform/Screen.h"
#include "platform/Trace.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace zibbles::testing {

enum class TraceSink { None, InMemory };

struct TestEnvironment {
    std::shared_ptr<platform::VirtualClock> clock;
    platform::Environment environment;

    platform::MainQueue& queue() const { return *environment.mainQueue; }
    double now() const { return clock->now(); }
    // Runs every task due within the step, in deadline order. Main thread only.
    void advanceBy(double seconds) const { environment.mainQueue->advanceBy(seconds); }
    void advanceTo(double t) const { environment.mainQueue->advanceTo(t); }
    // For real network answers: runs the main queue's due tasks, virtual time standing still,
    // until done() holds or bound of real time has passed. Main thread only.
    template <typename Done>
    bool pumpUntil(Done done, std::chrono::milliseconds bound = std::chrono::seconds(10)) const {
        const auto giveUp = std::chrono::steady_clock::now() + bound;
        for (;;) {
            queue().runDueTasks();
            if (done())
                return true;
            if (std::chrono::steady_clock::now() > giveUp)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    // The trace's lines (empty without an in-memory trace).
    std::vector<std::string> traceLines() const {
        return environment.trace ? environment.trace->lines() : std::vector<std::string>{};
    }
};

// Virtual clock starting at 0, a seeded random source, a main screen of scale 1, no session.
inline TestEnvironment makeTestEnvironment(std::uint64_t seed = 1,
                                           TraceSink sink = TraceSink::None) {
    TestEnvironment test;
    test.clock = std::make_shared<platform::VirtualClock>(0.0);
    test.environment.mainQueue = std::make_shared<platform::MainQueue>(test.clock);
    test.environment.random = std::make_shared<platform::SeededRandom>(seed);
    test.environment.mainScreen = std::make_shared<platform::Screen>(1.0);
    if (sink == TraceSink::InMemory) {
        test.environment.trace = platform::Trace::inMemory(test.clock);
    }
    return test;
}

// A random source that gives back scripted values: uniform draws in order (each mapped into the
// asked range as a fraction from 0 to 1), coins in order. Runs out to 0 and true.
class ScriptedRandom final : public platform::RandomSource {
  public:
    ScriptedRandom(std::vector<double> fractions, std::vector<bool> coins)
        : fractions_(std::move(fractions)), coins_(std::move(coins)) {}
    double uniform(double low, double high) override {
        const double u = next_ < fractions_.size() ? fractions_[next_++] : 0.0;
        return low + (high - low) * u;
    }
    std::int64_t uniformInt(std::int64_t low, std::int64_t) override { return low; }
    bool coin() override { return nextCoin_ < coins_.size() ? coins_[nextCoin_++] : true; }

  private:
    std::vector<double> fractions_;
    std::vector<bool> coins_;
    std::size_t next_ = 0;
    std::size_t nextCoin_ = 0;
};

} // namespace zibbles::testing

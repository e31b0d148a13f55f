#pragma once

// Implemented features:
//  [X] Monotonic time in seconds since an arbitrary start (MonotonicClock).
//  [X] Virtual time that only moves when a test or a headless host advances it (VirtualClock).
//  [ ] Wall-clock time: nothing here needs it.

#include <atomic>

namespace zibbles::platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Seconds. Never goes backwards. Any thread.
    virtual double now() const = 0;
    // True when time moves only by advance(); the run loop then never waits in real time.
    virtual bool isVirtual() const = 0;
};

class MonotonicClock final : public Clock {
  public:
    MonotonicClock();
    double now() const override;
    bool isVirtual() const override { return false; }

  private:
    double start_;
};

class VirtualClock final : public Clock {
  public:
    explicit VirtualClock(double start = 0.0) : now_(start) {}
    double now() const override { return now_.load(); }
    bool isVirtual() const override { return true; }
    // Main thread only (the run loop calls it while fast-forwarding). Never moves backwards.
    void advanceTo(double t);

  private:
    std::atomic<double> now_;
};

} // namespace zibbles::platform

#pragma once

// How the headless host moves time from frame to frame. On a real clock it waits for the time
// to come, running the main queue's tasks as they fall due. On a virtual clock it runs as fast as
// the work allows, except that while the view waits for answers from the network, virtual time
// passes no faster than real time: requests take real time, and a run must not skip past them.

#include "platform/MainQueue.h"

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

namespace zibbles::host {

// Main thread only (the wake hook it installs runs on any thread).
class FramePacer {
  public:
    // waitingForNetwork: true while the view has fetches in flight.
    FramePacer(std::shared_ptr<platform::MainQueue> queue, std::function<bool()> waitingForNetwork);
    ~FramePacer();
    FramePacer(const FramePacer&) = delete;
    FramePacer& operator=(const FramePacer&) = delete;

    // Runs the main queue up to clock time t.
    void advanceTo(double t);

  private:
    struct Wakeup {
        std::mutex mutex;
        std::condition_variable posted;
        std::uint64_t posts = 0;
    };
    void advanceRealTo(double t);
    void advanceVirtualTo(double t);
    // Sleeps at most this many real seconds, less if something is posted. Gives the seconds slept.
    double sleepForPost(double seconds);

    std::shared_ptr<platform::MainQueue> queue_;
    std::function<bool()> waitingForNetwork_;
    std::shared_ptr<Wakeup> wakeup_;
};

} // namespace zibbles::host

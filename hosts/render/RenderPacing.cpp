#include "hosts/render/RenderPacing.h"

#include <algorithm>
#include <chrono>

namespace zibbles::host {
namespace {

// The longest real sleep between two looks at the network while virtual time waits for it.
constexpr double kNetworkPoll = 0.05; // seconds

} // namespace

FramePacer::FramePacer(std::shared_ptr<platform::MainQueue> queue,
                       std::function<bool()> waitingForNetwork)
    : queue_(std::move(queue)), waitingForNetwork_(std::move(waitingForNetwork)),
      wakeup_(std::make_shared<Wakeup>()) {
    std::weak_ptr<Wakeup> weak = wakeup_;
    queue_->setWakeHook([weak] {
        if (auto wakeup = weak.lock()) {
            std::lock_guard lock(wakeup->mutex);
            ++wakeup->posts;
            wakeup->posted.notify_all();
        }
    });
}

FramePacer::~FramePacer() {
    queue_->setWakeHook(nullptr);
}

void FramePacer::advanceTo(double t) {
    if (queue_->clock().isVirtual())
        advanceVirtualTo(t);
    else
        advanceRealTo(t);
}

void FramePacer::advanceRealTo(double t) {
    queue_->runDueTasks();
    while (queue_->now() < t) {
        queue_->waitForWork(t - queue_->now());
        queue_->runDueTasks();
    }
}

void FramePacer::advanceVirtualTo(double t) {
    while (queue_->now() < t) {
        if (!waitingForNetwork_()) {
            queue_->advanceTo(t);
            return;
        }
        const double slept = sleepForPost(std::min(t - queue_->now(), kNetworkPoll));
        queue_->advanceTo(std::min(t, queue_->now() + slept));
    }
}

double FramePacer::sleepForPost(double seconds) {
    const auto before = std::chrono::steady_clock::now();
    {
        std::unique_lock lock(wakeup_->mutex);
        const std::uint64_t postsBefore = wakeup_->posts;
        wakeup_->posted.wait_for(lock, std::chrono::duration<double>(seconds),
                                 [&] { return wakeup_->posts != postsBefore; });
    }
    const std::chrono::duration<double> slept = std::chrono::steady_clock::now() - before;
    return slept.count();
}

} // namespace zibbles::host

#include "hosts/inspect/InspectInterrupt.h"

#include <pthread.h>
#include <unistd.h>

namespace zibbles::inspect {

namespace {

sigset_t interruptSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    return set;
}

} // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    const sigset_t set = interruptSet();
    pthread_sigmask(SIG_BLOCK, &set, &previousMask_);
    watcher_ = std::thread([this] { watch(); });
}

InterruptWatch::~InterruptWatch() {
    finishing_ = true;
    // The watcher waits for SIGINT alone, so that is how it is woken.
    pthread_kill(watcher_.native_handle(), SIGINT);
    watcher_.join();
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void InterruptWatch::watch() {
    const sigset_t set = interruptSet();
    for (;;) {
        int signal = 0;
        if (sigwait(&set, &signal) != 0 || finishing_)
            return;
        if (interrupted_.exchange(true))
            ::_exit(130); // asked twice: the person wants out now
        onInterrupt_();
    }
}

} // namespace zibbles::inspect

#include "platform/Clock.h"

#include <chrono>

namespace zibbles::platform {

namespace {

double steadySeconds() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

MonotonicClock::MonotonicClock() : start_(steadySeconds()) {}

double MonotonicClock::now() const {
    return steadySeconds() - start_;
}

void VirtualClock::advanceTo(double t) {
    // The negated test also refuses NaN, which would poison every later deadline.
    if (!(t > now_.load())) {
        return;
    }
    now_.store(t);
}

} // namespace zibbles::platform

#include "hosts/saver/WakeFd.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace zibbles::host {

WakeFd::WakeFd() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeFd::~WakeFd() {
    if (fd_ >= 0)
        close(fd_);
}

void WakeFd::post() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(fd_, &one, sizeof one);
}

void WakeFd::drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(fd_, &count, sizeof count);
}

} // namespace zibbles::host

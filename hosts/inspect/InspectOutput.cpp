#include "hosts/inspect/InspectOutput.h"

#include <unistd.h>

#include <cerrno>

namespace zibbles::inspect {

namespace {

constexpr std::size_t blockBytes = 1u << 20;

} // namespace

OutputBuffer::OutputBuffer(int fd) : fd_(fd) {
    pending_.reserve(2 * blockBytes);
}

OutputBuffer::~OutputBuffer() {
    flush();
}

void OutputBuffer::write(std::string_view text) {
    pending_.append(text);
    flushIfFull();
}

void OutputBuffer::flushIfFull() {
    if (pending_.size() >= blockBytes)
        flush();
}

bool OutputBuffer::flush() {
    std::size_t sent = 0;
    while (writeError_ == 0 && sent < pending_.size()) {
        const ssize_t wrote = ::write(fd_, pending_.data() + sent, pending_.size() - sent);
        if (wrote >= 0)
            sent += static_cast<std::size_t>(wrote);
        else if (errno != EINTR)
            writeError_ = errno;
    }
    pending_.clear();
    return writeError_ == 0;
}

} // namespace zibbles::inspect

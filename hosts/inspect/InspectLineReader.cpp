#include "hosts/inspect/InspectLineReader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zibbles::inspect {

namespace {

// Large enough that a read costs little per byte, small enough to stay in the cache's reach and
// to touch few pages.
constexpr std::size_t blockBytes = 1u << 18;

} // namespace

LineReader::LineReader(int fd, std::size_t maximumLine)
    : fd_(fd), maximumLine_(maximumLine), buffer_(new char[blockBytes]), capacity_(blockBytes) {}

LineReader::Fill LineReader::fill() {
    if (atEnd_)
        return Fill::End;
    // Keep the unfinished line, moved to the front, and make room for a whole block after it.
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    if (capacity_ - end_ < blockBytes) {
        // Doubling, so that a long line is copied over a few times, not once a block.
        const std::size_t larger = std::max(end_ + blockBytes, 2 * capacity_);
        std::unique_ptr<char[]> grown(new char[larger]);
        std::memcpy(grown.get(), buffer_.get(), end_);
        buffer_ = std::move(grown);
        capacity_ = larger;
    }
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.get() + end_, capacity_ - end_);
        if (got > 0) {
            end_ += static_cast<std::size_t>(got);
            return Fill::Read;
        }
        if (got == 0) {
            atEnd_ = true;
            return Fill::End;
        }
        if (errno != EINTR) {
            readError_ = errno;
            return Fill::Failed;
        }
    }
}

LineReader::Next LineReader::skipRestOfLine() {
    for (;;) {
        const void* newline = std::memchr(buffer_.get() + begin_, '\n', end_ - begin_);
        if (newline) {
            begin_ =
                static_cast<std::size_t>(static_cast<const char*>(newline) - buffer_.get()) + 1;
            scanned_ = 0;
            return Next::TooLong;
        }
        begin_ = end_ = scanned_ = 0; // dropped unread: the line is answered, not kept
        const Fill filled = fill();
        if (filled == Fill::End)
            return Next::TooLong;
        if (filled == Fill::Failed)
            return Next::ReadError;
    }
}

LineReader::Next LineReader::next(std::string_view& line) {
    for (;;) {
        const char* start = buffer_.get() + begin_;
        const std::size_t have = end_ - begin_;
        if (const void* newline = std::memchr(start + scanned_, '\n', have - scanned_)) {
            const auto length = static_cast<std::size_t>(static_cast<const char*>(newline) - start);
            if (length > maximumLine_)
                return skipRestOfLine();
            line = std::string_view(start, length);
            begin_ += length + 1;
            scanned_ = 0;
            return Next::Line;
        }
        scanned_ = have;
        if (have > maximumLine_)
            return skipRestOfLine();
        const Fill filled = fill();
        if (filled == Fill::Failed)
            return Next::ReadError;
        if (filled == Fill::End) {
            if (begin_ == end_)
                return Next::End;
            line = std::string_view(buffer_.get() + begin_, end_ - begin_);
            begin_ = end_;
            scanned_ = 0;
            return Next::Line;
        }
    }
}

} // namespace zibbles::inspect

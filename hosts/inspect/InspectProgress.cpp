#include "hosts/inspect/InspectProgress.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace zibbles::inspect {

namespace {

constexpr auto redrawInterval = std::chrono::milliseconds(100);
// Back to the start of the line, and clear to its end.
constexpr const char* eraseLine = "\r\033[K";

std::string duration(double seconds) {
    const auto whole = static_cast<long long>(std::ceil(seconds));
    if (whole < 60)
        return std::to_string(whole) + " s";
    return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) + " s";
}

std::string progressText(std::size_t done, std::size_t total, double elapsedSeconds) {
    std::string line = std::to_string(done) + "/" + std::to_string(total) + " tokens";
    if (done == 0 || !(elapsedSeconds > 0.0))
        return line;
    const double rate = static_cast<double>(done) / elapsedSeconds;
    char perSecond[32];
    std::snprintf(perSecond, sizeof perSecond, ", %.1f/s", rate);
    line += perSecond;
    if (done < total)
        line += ", about " + duration(static_cast<double>(total - done) / rate) + " left";
    return line;
}

} // namespace

ProgressLine::ProgressLine(int fd, std::size_t total)
    : fd_(fd), terminal_(::isatty(fd) == 1), total_(total) {}

ProgressLine::~ProgressLine() {
    erase();
}

void ProgressLine::update(std::size_t done) {
    done_ = done;
    if (!terminal_)
        return;
    const auto now = Clock::now();
    if (shown_ && now - drawn_ < redrawInterval && done < total_)
        return;
    drawn_ = now;
    const std::chrono::duration<double> elapsed = now - started_;
    std::string line = progressText(done, total_, elapsed.count());
    if (waiting_ > 0) {
        char next[32];
        std::snprintf(next, sizeof next, "%.1f s", nextInSeconds_);
        line += "; " + std::to_string(waiting_) + " waiting for the endpoint, next in " + next;
    }
    write(eraseLine + line);
    shown_ = true;
}

void ProgressLine::waiting(std::size_t tokens, double nextInSeconds) {
    waiting_ = tokens;
    nextInSeconds_ = nextInSeconds;
    update(done_);
}

void ProgressLine::erase() {
    if (shown_)
        write(eraseLine);
    shown_ = false;
}

void ProgressLine::write(const std::string& text) {
    // A terminal that refuses the line loses only the progress; the results go elsewhere.
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t wrote = ::write(fd_, text.data() + sent, text.size() - sent);
        if (wrote <= 0)
            return;
        sent += static_cast<std::size_t>(wrote);
    }
}

} // namespace zibbles::inspect

#pragma once

// One progress line on a terminal, redrawn in place: "412/1000 tokens, 38.5/s, about 15 s left".
// When the descriptor is not a terminal nothing is ever written.

#include <chrono>
#include <cstddef>
#include <string>

namespace zibbles::inspect {

class ProgressLine {
  public:
    ProgressLine(int fd, std::size_t total);
    ~ProgressLine(); // erases the line

    // Main thread only, like every call below. Redraws at most ten times a second.
    void update(std::size_t done);
    void erase();

  private:
    using Clock = std::chrono::steady_clock;
    void write(const std::string& text);

    int fd_;
    bool terminal_;
    std::size_t total_;
    Clock::time_point started_ = Clock::now();
    Clock::time_point drawn_{};
    bool shown_ = false;
};

} // namespace zibbles::inspect

#pragma once

// One progress line on a terminal, redrawn in place: "412/1000 tokens, 38.5/s, about 15 s left",
// and while the endpoint makes tokens wait: "…; 3 waiting for the endpoint, next in 0.8 s".
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
    // Tokens the endpoint refused that wait to be asked again; 0 when none does.
    void waiting(std::size_t tokens, double nextInSeconds);
    void erase();

  private:
    using Clock = std::chrono::steady_clock;
    void write(const std::string& text);

    int fd_;
    bool terminal_;
    std::size_t total_;
    std::size_t done_ = 0;
    std::size_t waiting_ = 0;
    double nextInSeconds_ = 0.0;
    Clock::time_point started_ = Clock::now();
    Clock::time_point drawn_{};
    bool shown_ = false;
};

} // namespace zibbles::inspect

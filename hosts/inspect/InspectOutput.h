#pragma once

// One buffered writer on a file descriptor, so that many small answers cost few writes.

#include <string>
#include <string_view>

namespace zibbles::inspect {

class OutputBuffer {
  public:
    explicit OutputBuffer(int fd);
    ~OutputBuffer(); // flushes

    // Main thread only, like every call below.
    void write(std::string_view text);
    // The text that write() will send; callers may append to it directly.
    std::string& pending() { return pending_; }
    // Sends what is pending when it has grown past a block.
    void flushIfFull();
    // False once a write failed (errno-style code in writeError()); later text is dropped.
    bool flush();
    int writeError() const { return writeError_; }

  private:
    int fd_;
    std::string pending_;
    int writeError_ = 0;
};

} // namespace zibbles::inspect

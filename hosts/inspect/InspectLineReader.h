#pragma once

// Standard input (or a file) read in large blocks and handed over a line at a time, as each line
// completes, so a dump of any size is read in constant memory: at most one block and the longest
// line allowed.

#include <cstddef>
#include <memory>
#include <string_view>

namespace zibbles::inspect {

class LineReader {
  public:
    enum class Next {
        Line,      // line holds the next line, without its '\n'
        TooLong,   // a line longer than maximumLine was skipped, unread beyond that
        End,       // no more input
        ReadError, // reading failed; errno-style code in readError()
    };

    // fd stays the caller's to close. Main thread only, like every call below.
    LineReader(int fd, std::size_t maximumLine);

    // A line that ends the input without a '\n' is a line too. The text stays valid until the
    // next call.
    Next next(std::string_view& line);
    int readError() const { return readError_; }

  private:
    enum class Fill { Read, End, Failed };
    Fill fill();
    Next skipRestOfLine();

    int fd_;
    std::size_t maximumLine_;
    // Left uninitialised: every byte handed over has been read into it first, and zeroing a
    // block would cost about as much as reading it.
    std::unique_ptr<char[]> buffer_;
    std::size_t capacity_ = 0;
    std::size_t begin_ = 0;   // first byte not handed over yet
    std::size_t scanned_ = 0; // bytes from begin_ known to hold no '\n'
    std::size_t end_ = 0;     // end of the bytes read
    bool atEnd_ = false;
    int readError_ = 0;
};

} // namespace zibbles::inspect

#pragma once

// A main that nothing escapes. The allocator's policy is each program's own, set in its main
// before anything is allocated: the saver keeps large blocks mapped (SaverMemory.h), the others
// keep the C library's default.

#include <functional>
#include <string_view>

namespace zibbles::host {

// Runs body. Anything body throws becomes one line on stderr ("PROGRAM: out of memory", or the
// exception's words) and kExitFailed, so no program ever aborts on a throw.
int runProgram(std::string_view program, const std::function<int()>& body);

} // namespace zibbles::host

#pragma once

// What every program does for its whole process: the allocator's policy, set before anything is
// allocated, and a main that nothing escapes.

#include <functional>
#include <string_view>

namespace zibbles::host {

// Main thread, first thing. Also for tests that stand in for a program's process.
void setUpProcess();

// setUpProcess, then body. Anything body throws becomes one line on stderr ("PROGRAM: out of
// memory", or the exception's words) and kExitFailed, so no program ever aborts on a throw.
int runProgram(std::string_view program, const std::function<int()>& body);

} // namespace zibbles::host

#pragma once

// The wall clock's time of day where the user is, from the system's own thread-safe call: one
// small file per system (LocalTimePosix.cpp, LocalTimeWin32.cpp).

#include <ctime>

namespace zibbles::host {

// Any thread. The broken-down local time of t; all zero when the system cannot tell.
std::tm localTimeOf(std::time_t t);

} // namespace zibbles::host

#pragma once

// Where the saver's words go. A screen saver is a windowed program: the system gives it no
// console, and nothing it says must show on the screen. Status lines go to the debugger's output
// (OutputDebugStringW, which DebugView and debuggers read), and to standard error when the
// program has one (run from a console, or with its output redirected).

#include "hosts/common/StatusReporter.h"

#include <string>
#include <string_view>

namespace zibbles::host {

// Main thread, first thing: takes the console of the program that started this one, if any, so
// that --help, --version and errors reach a person who ran it from a prompt.
void useParentConsole();

// One line, "PROGRAM: TEXT", to the debugger's output and to standard error when there is one.
void sayLine(std::string_view program, std::string_view text);

// Text as it stands (usage, version) to standard output when there is one, else to the
// debugger's output.
void sayText(std::string_view text);

// Status lines for people, as sayLine writes them; none when quiet.
StatusSink statusLinesForWindows(std::string program, bool quiet);

} // namespace zibbles::host

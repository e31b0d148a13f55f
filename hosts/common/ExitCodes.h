#pragma once

// The exit codes of every program, and the one way a program reports a usage error.

#include <string_view>

namespace zibbles::host {

constexpr int kExitOk = 0;            // done; for the inspector, every token decoded
constexpr int kExitFailed = 1;        // the run could not be done, or a token did not decode
constexpr int kExitUsage = 2;         // the command line is wrong
constexpr int kExitInterrupted = 130; // as a shell reports a run ended by Ctrl-C

// "PROGRAM: MESSAGE" and "Try 'PROGRAM --help'." on standard error. Gives kExitUsage.
int usageError(std::string_view program, std::string_view message);

} // namespace zibbles::host

#pragma once

// What `--version` prints: the program and the version of the build on the first line, then,
// for the programs that fetch, the endpoint and the contract the build asks.

#include <string>
#include <string_view>

namespace zibbles::host {

enum class BuildConstants { Shown, Left };

// Ends in a newline.
std::string versionText(std::string_view program, BuildConstants constants);

} // namespace zibbles::host

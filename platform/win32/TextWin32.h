#pragma once

// UTF-8, as the rest of the program speaks, to and from UTF-16, as Windows' own calls take it.

#include <string>
#include <string_view>

namespace zibbles::platform {

// Any thread. Invalid sequences become U+FFFD.
std::wstring wideFromUtf8(std::string_view text);
std::string utf8FromWide(std::wstring_view text);

} // namespace zibbles::platform

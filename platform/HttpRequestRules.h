#pragma once

// What a URL session checks in a caller's request before anything is sent, whichever system's
// HTTP stack carries it.

#include <string_view>

namespace zibbles::platform {

// A method or header name: visible ASCII without separators (RFC 9110's token).
bool isHttpToken(std::string_view text);
// A line break or a control character would let a caller's text start a header of its own.
bool isUnsafeInHeader(std::string_view text);
// The URL's scheme is https, in any case.
bool isHttpsURL(std::string_view url);

} // namespace zibbles::platform

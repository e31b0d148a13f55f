#pragma once

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, no truncated sequence.

#include <cstddef>
#include <optional>
#include <string_view>

namespace zibbles {

// Any thread.
bool isValidUtf8(std::string_view bytes);

// The offset of the first byte that does not start or continue a well-formed sequence, or nothing
// when all of it is well-formed. Slower than isValidUtf8; meant for explaining a failure.
std::optional<std::size_t> firstInvalidUtf8(std::string_view bytes);

} // namespace zibbles

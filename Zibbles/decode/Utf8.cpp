#include "Zibbles/decode/Utf8.h"

#include <simdjson.h>

namespace zibbles {

namespace {

// The length of the well-formed sequence starting at i, or 0 (Unicode Table 3-7).
std::size_t sequenceLength(const unsigned char* s, std::size_t size, std::size_t i) {
    const unsigned char b = s[i];
    if (b < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        low = b == 0xE0 ? 0xA0 : 0x80;
        high = b == 0xED ? 0x9F : 0xBF;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        low = b == 0xF0 ? 0x90 : 0x80;
        high = b == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (size - i < length)
        return 0;
    if (s[i + 1] < low || s[i + 1] > high)
        return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (s[i + k] < 0x80 || s[i + k] > 0xBF)
            return 0;
    return length;
}

} // namespace

bool isValidUtf8(std::string_view bytes) {
    return simdjson::validate_utf8(bytes);
}

std::optional<std::size_t> firstInvalidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = sequenceLength(s, bytes.size(), i);
        if (length == 0)
            return i;
        i += length;
    }
    return std::nullopt;
}

} // namespace zibbles

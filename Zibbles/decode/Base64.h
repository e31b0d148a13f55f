#pragma once

// Strict, padded Base64 of the standard alphabet. Any character outside the alphabet and the
// padding (white space and line breaks included), padding anywhere but at the very end, or a
// length that is not a multiple of four makes decoding fail. The bits left over after the last
// full byte are not checked.

#include <cstddef>
#include <string_view>

namespace zibbles {

struct Base64Outcome {
    enum class Status { Ok, BadLength, BadCharacter } status = Status::Ok;
    std::size_t size = 0;      // Bytes written, when Ok.
    std::size_t badOffset = 0; // Offset of the first character that is not strict Base64.
};

// The most bytes a text of this length can decode to.
constexpr std::size_t base64MaxDecodedSize(std::size_t textLength) {
    return textLength / 4 * 3;
}

// Decodes text into out, which must hold base64MaxDecodedSize(text.size()) bytes. Any thread.
Base64Outcome decodeBase64Strict(std::string_view text, char* out);

} // namespace zibbles

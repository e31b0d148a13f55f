#pragma once

// The return value of a Solidity function returning one `string`, given as the hexadecimal text
// of an eth_call result ("0x" optional), decoded to that string. Only the head word's offset and
// the length word are read; their high bytes and the padding after the text are not checked.

#include "Zibbles/decode/Decoded.h"

#include <optional>
#include <string>
#include <string_view>

namespace zibbles {

// The decoded text (possibly empty), or nothing when the input is not decodable. Any thread.
std::optional<std::string> decodeAbiString(std::string_view hex);

// The same, with the reason when it gives nothing. Any thread.
Decoded<std::string> decodeAbiStringDiagnosed(std::string_view hex);

} // namespace zibbles

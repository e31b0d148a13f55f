#pragma once

// A token URI ("data:application/json;base64," and strict Base64 JSON metadata) to the SVG
// document of its "image" member: either a "data:image/svg+xml;base64," URI, decoded, or any
// text containing "<svg", returned whole and unchanged.

#include "Zibbles/decode/Decoded.h"

#include <optional>
#include <string>
#include <string_view>

namespace zibbles {

// The SVG text, or nothing when the token URI is not of that form. Any thread.
std::optional<std::string> decodeDataURIToSVG(std::string_view tokenUri);

// The same, with the reason when it gives nothing. Any thread.
Decoded<std::string> decodeDataURIToSVGDiagnosed(std::string_view tokenUri);

} // namespace zibbles

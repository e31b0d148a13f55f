#pragma once

// What a rect tag's attribute values make of it, once they are found: the numeric defaults, the
// colour forms that are understood, and the background rule. Shared by every way of finding them.

#include "Zibbles/decode/Pixel.h"

#include <optional>
#include <string_view>

namespace zibbles {

// The value texts of the leftmost match of each attribute in one tag, without their quotes:
// numbers are [0-9.]+, the fill is "#" and 3 to 8 hexadecimal digits. Empty when not matched.
struct RectAttributes {
    std::optional<std::string_view> x, y, width, height, fill;
};

// A whole-text decimal number in the C locale, or nothing ("1.2.3", ".", out of range).
std::optional<double> parseDecimal(std::string_view text);

// "#rgb", "#rrggbb" or "#rrggbbaa" as a colour; nothing for any other length.
std::optional<Color> parseHexColor(std::string_view value);

// The pixel the tag yields, or nothing: without a colour, or as a background anchored at the
// origin and at least 30 units wide and high.
std::optional<Pixel> pixelOfRect(const RectAttributes& attributes);

} // namespace zibbles

#include "Zibbles/decode/RectRules.h"

#include <charconv>
#include <cstdint>

namespace zibbles {

namespace {

// Smaller figures stay; a rect anchored at the origin this large on both axes is a background.
constexpr double kBackgroundMinimumSide = 30.0;

double valueOr(const std::optional<std::string_view>& text, double fallback) {
    if (!text)
        return fallback;
    return parseDecimal(*text).value_or(fallback);
}

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

double component(std::uint64_t v, int shift) {
    return static_cast<double>((v >> shift) & 0xFF) / 255.0;
}

} // namespace

std::optional<double> parseDecimal(std::string_view text) {
    // Most values are a few plain digits; under 16 of them the integer is exact as a double, just
    // as the general conversion gives it, at a fraction of the cost.
    if (!text.empty() && text.size() < 16) {
        std::uint64_t whole = 0;
        std::size_t digits = 0;
        for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits)
            whole = whole * 10 + static_cast<std::uint64_t>(text[digits] - '0');
        if (digits == text.size())
            return static_cast<double>(whole);
    }
    double value = 0.0;
    const char* end = text.data() + text.size();
    // from_chars ignores the locale, so the separator is always the dot.
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::optional<Color> parseHexColor(std::string_view value) {
    if (!value.starts_with('#'))
        return std::nullopt;
    std::string_view digits = value.substr(1);
    char expanded[6];
    if (digits.size() == 3) {
        for (std::size_t i = 0; i < 3; ++i)
            expanded[2 * i] = expanded[2 * i + 1] = digits[i];
        digits = std::string_view(expanded, 6);
    }
    if (digits.size() != 6 && digits.size() != 8)
        return std::nullopt;
    std::uint64_t v = 0;
    for (char c : digits) {
        const int d = hexDigitValue(c);
        if (d < 0)
            return std::nullopt;
        v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    if (digits.size() == 8)
        return Color{component(v, 24), component(v, 16), component(v, 8), component(v, 0)};
    return Color{component(v, 16), component(v, 8), component(v, 0), 1.0};
}

std::optional<Pixel> pixelOfRect(const RectAttributes& attributes) {
    if (!attributes.fill)
        return std::nullopt;
    const std::optional<Color> color = parseHexColor(*attributes.fill);
    if (!color)
        return std::nullopt;
    const double x = valueOr(attributes.x, 0.0), y = valueOr(attributes.y, 0.0);
    const double w = valueOr(attributes.width, 1.0), h = valueOr(attributes.height, 1.0);
    if (x <= 0.0 && y <= 0.0 && w >= kBackgroundMinimumSide && h >= kBackgroundMinimumSide)
        return std::nullopt;
    return Pixel{x, y, w, h, *color};
}

} // namespace zibbles

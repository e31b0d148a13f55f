#include "Zibbles/decode/SvgRects.h"

#include "Zibbles/decode/RectRules.h"

namespace zibbles {

namespace {

bool isQuote(char c) {
    return c == '"' || c == '\'';
}
bool isNumberCharacter(char c) {
    return (c >= '0' && c <= '9') || c == '.';
}
bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value of `name="value"` where value starts right after the opening quote at `start`, runs
// over characters accepted by `accepts`, holds `minimum` to `maximum` of them after `skip`
// leading characters, and is closed by a quote. Nothing when that does not hold at `start`.
template <typename Accepts>
std::optional<std::string_view> quotedValueAt(std::string_view tag, std::size_t start,
                                              std::size_t skip, std::size_t minimum,
                                              std::size_t maximum, Accepts accepts) {
    std::size_t end = start + skip;
    while (end < tag.size() && end - start - skip < maximum + 1 && accepts(tag[end]))
        ++end;
    const std::size_t count = end - start - skip;
    if (count < minimum || count > maximum || end >= tag.size() || !isQuote(tag[end]))
        return std::nullopt;
    return tag.substr(start, end - start);
}

// The leftmost place in the tag where name, "=", a quote and an acceptable quoted value stand.
template <typename ValueAt>
std::optional<std::string_view> leftmostAttribute(std::string_view tag, std::string_view name,
                                                  ValueAt valueAt) {
    for (std::size_t at = tag.find(name); at != std::string_view::npos;
         at = tag.find(name, at + 1)) {
        const std::size_t equals = at + name.size();
        if (equals + 1 < tag.size() && tag[equals] == '=' && isQuote(tag[equals + 1]))
            if (auto value = valueAt(tag, equals + 2))
                return value;
    }
    return std::nullopt;
}

std::optional<std::string_view> numberAttribute(std::string_view tag, std::string_view name) {
    return leftmostAttribute(tag, name, [](std::string_view t, std::size_t start) {
        return quotedValueAt(t, start, 0, 1, std::string_view::npos - 1, isNumberCharacter);
    });
}

std::optional<std::string_view> fillAttribute(std::string_view tag) {
    return leftmostAttribute(tag, "fill", [](std::string_view t, std::size_t start) {
        if (start >= t.size() || t[start] != '#')
            return std::optional<std::string_view>();
        return quotedValueAt(t, start, 1, 3, 8, isHexDigit);
    });
}

// Each "<rect" through the next ">", left to right, without overlap.
std::vector<std::string_view> rectTags(std::string_view svg) {
    std::vector<std::string_view> tags;
    std::size_t from = 0;
    while (true) {
        const std::size_t open = svg.find("<rect", from);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = svg.find('>', open + 5);
        if (close == std::string_view::npos)
            break;
        tags.push_back(svg.substr(open, close - open + 1));
        from = close + 1;
    }
    return tags;
}

} // namespace

std::vector<Pixel> parsePixels(std::string_view svg) {
    const std::vector<std::string_view> tags = rectTags(svg);
    std::vector<Pixel> pixels;
    pixels.reserve(tags.size());
    for (std::string_view tag : tags) {
        const RectAttributes attributes{numberAttribute(tag, "x"), numberAttribute(tag, "y"),
                                        numberAttribute(tag, "width"),
                                        numberAttribute(tag, "height"), fillAttribute(tag)};
        if (auto pixel = pixelOfRect(attributes))
            pixels.push_back(*pixel);
    }
    return pixels;
}

} // namespace zibbles

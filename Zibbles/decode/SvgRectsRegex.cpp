#include "Zibbles/decode/RectRules.h"
#include "Zibbles/decode/SvgRects.h"

#include <re2/re2.h>

#include <cstdlib>

namespace zibbles {

namespace {

// Latin-1 makes every byte one character, so the expressions see exactly the bytes the hand
// matcher sees, also in text that is not UTF-8; on UTF-8 text the matches are the same.
RE2::Options byteOptions() {
    RE2::Options options;
    options.set_encoding(RE2::Options::EncodingLatin1);
    options.set_log_errors(false);
    return options;
}

std::string numberPattern(std::string_view name) {
    return std::string(name) + "=[\"']([0-9.]+)[\"']";
}

struct Expressions {
    RE2 rect{"<rect[^>]*>", byteOptions()};
    RE2 x{numberPattern("x"), byteOptions()};
    RE2 y{numberPattern("y"), byteOptions()};
    RE2 width{numberPattern("width"), byteOptions()};
    RE2 height{numberPattern("height"), byteOptions()};
    RE2 fill{"fill=[\"'](#[0-9a-fA-F]{3,8})[\"']", byteOptions()};

    Expressions() {
        for (const RE2* re : {&rect, &x, &y, &width, &height, &fill})
            if (!re->ok())
                std::abort(); // A fixed pattern that does not compile is a programming error.
    }
};

// Built once, on first use; C++ makes that thread-safe, and RE2 matching is safe from any thread.
const Expressions& expressions() {
    static const Expressions compiled;
    return compiled;
}

std::optional<std::string_view> leftmostCapture(std::string_view tag, const RE2& re) {
    re2::StringPiece capture;
    if (!RE2::PartialMatch(re2::StringPiece(tag.data(), tag.size()), re, &capture))
        return std::nullopt;
    return std::string_view(capture.data(), capture.size());
}

std::vector<std::string_view> rectTags(std::string_view svg, const RE2& rect) {
    std::vector<std::string_view> tags;
    const re2::StringPiece text(svg.data(), svg.size());
    re2::StringPiece match;
    std::size_t from = 0;
    while (from <= svg.size() && rect.Match(text, from, svg.size(), RE2::UNANCHORED, &match, 1)) {
        tags.emplace_back(match.data(), match.size());
        from = static_cast<std::size_t>(match.data() - svg.data()) + match.size();
    }
    return tags;
}

} // namespace

std::vector<Pixel> parsePixelsWithRegex(std::string_view svg) {
    const Expressions& re = expressions();
    const std::vector<std::string_view> tags = rectTags(svg, re.rect);
    std::vector<Pixel> pixels;
    pixels.reserve(tags.size());
    for (std::string_view tag : tags) {
        const RectAttributes attributes{
            leftmostCapture(tag, re.x), leftmostCapture(tag, re.y), leftmostCapture(tag, re.width),
            leftmostCapture(tag, re.height), leftmostCapture(tag, re.fill)};
        if (auto pixel = pixelOfRect(attributes))
            pixels.push_back(*pixel);
    }
    return pixels;
}

} // namespace zibbles

#include "hosts/saver/HackOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace zibbles::host {
namespace {

constexpr double kPreviewMaxWidth = 640.0;  // points
constexpr double kPreviewMaxHeight = 400.0; // points

std::optional<std::uint32_t> parsedId(const std::optional<std::string>& text) {
    return text ? parseWindowId(*text) : std::nullopt;
}

} // namespace

std::optional<std::uint32_t> parseWindowId(std::string_view text) {
    // strtoul skips blanks and takes a sign ("-1" wraps to the largest value); refuse both.
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text.front())))
        return std::nullopt;
    const std::string copy(text);
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(copy.c_str(), &end, 0);
    if (errno != 0 || end != copy.c_str() + copy.size() || value == 0 || value > 0xFFFFFFFFul)
        return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

HackChoice chooseHackWindow(const HackRequest& request) {
    if (const auto id = parsedId(request.windowIdText))
        return {HackWindow{HackWindowKind::Given, *id}, {}};
    if (const auto id = parsedId(request.variable))
        return {HackWindow{HackWindowKind::Given, *id}, {}};
    if (request.root)
        return {HackWindow{HackWindowKind::Root, 0}, {}};
    if (request.windowIdText)
        return {std::nullopt, "'" + *request.windowIdText + "' is not an X window id"};
    return {std::nullopt, std::string(kHackWindowVariable) + "='" + request.variable.value_or("") +
                              "' is not an X window id"};
}

bool isPreviewSize(double widthPoints, double heightPoints) {
    return widthPoints < kPreviewMaxWidth || heightPoints < kPreviewMaxHeight;
}

} // namespace zibbles::host

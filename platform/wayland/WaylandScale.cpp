#include "platform/wayland/WaylandScale.h"

#include <algorithm>
#include <cmath>

namespace zibbles::platform {
namespace {

// Beyond these a scale is taken for a misconfiguration, as a whole scale past 8 is.
constexpr std::uint32_t kLeastScale = kScaleUnit / 4;
constexpr std::uint32_t kGreatestScale = kScaleUnit * 8;

} // namespace

std::int64_t bufferPixels(std::int64_t points, std::uint32_t scaleIn120ths) {
    // The same product and rounding as the compositor's device rectangles (std::round rounds
    // halves away from zero); exact for any side a shared buffer can have.
    const double pixels = std::round(static_cast<double>(points) * scaleFactorOf(scaleIn120ths));
    return std::max<std::int64_t>(1, static_cast<std::int64_t>(pixels));
}

std::optional<std::uint32_t> preferredScale(std::uint32_t sentIn120ths) {
    if (sentIn120ths == 0)
        return std::nullopt;
    return std::clamp(sentIn120ths, kLeastScale, kGreatestScale);
}

} // namespace zibbles::platform

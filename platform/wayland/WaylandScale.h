#pragma once

// How a Wayland surface's size in points becomes the size of its buffers in device pixels.
// Implemented features:
//  [X] Scales in 120ths of a device pixel per point, the unit of wp_fractional_scale_v1's
//      preferred_scale; a whole scale n (wl_output.scale) is n × 120.
//  [X] A buffer side of points × scale rounded halves away from zero, the rounding the sprite's
//      side and the compositor's device rectangles use, so that the view's background covers
//      the buffer to its last row and column.
//  [X] A preferred scale as the compositor sends it, kept to 0.25–8; 0 is no scale at all.

#include <cstdint>
#include <optional>

namespace zibbles::platform {

// The unit of a preferred scale: 120 is one device pixel per point.
inline constexpr std::uint32_t kScaleUnit = 120;

// Device pixels per point.
constexpr double scaleFactorOf(std::uint32_t scaleIn120ths) {
    return static_cast<double>(scaleIn120ths) / kScaleUnit;
}

// A buffer's side in device pixels for a side in points (at least 1 each).
std::int64_t bufferPixels(std::int64_t points, std::uint32_t scaleIn120ths);

// The scale to draw at from a preferred_scale event; nothing for 0, which is no scale.
std::optional<std::uint32_t> preferredScale(std::uint32_t sentIn120ths);

} // namespace zibbles::platform

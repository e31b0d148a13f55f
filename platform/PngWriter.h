#pragma once

// PNG files of images, for the headless host, the inspector and screenshots.
// Implemented features:
//  [X] An Image (premultiplied RGBA8) written as an 8-bit RGBA PNG. PNG stores straight alpha,
//      so each colour byte is un-premultiplied on the way out: round(c × 255 / a) (halves up, at
//      most 255), and 0 where a = 0. Opaque pixels are written exactly as they are.
//  [ ] Palettes, 16-bit, colour profiles, metadata: nothing needs them.

#include "platform/Image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zibbles::platform {

struct PngResult {
    bool ok = false;
    std::string error; // for people: libpng's own words, or what else failed
};

// Any thread. Creates or truncates the file.
PngResult writePng(const std::string& path, const Image& image);

// The straight-alpha RGBA bytes a PNG of this image holds (rows top first).
std::vector<std::uint8_t> unpremultipliedRgba(const Image& image);

} // namespace zibbles::platform

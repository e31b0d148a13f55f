#pragma once

// Reading PNG files back, for tests and tools that compare frames.
// Implemented features:
//  [X] Any PNG libpng reads, converted to 8-bit RGBA with straight alpha, rows top first.
//  [ ] Premultiplying: callers compare the file's own bytes.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zibbles::platform {

struct PngPixels {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::vector<std::uint8_t> rgba; // straight alpha, four bytes a pixel, top row first
};

struct PngReadResult {
    std::optional<PngPixels> pixels;
    std::string error; // set when pixels is empty
};

// Any thread.
PngReadResult readPng(const std::string& path);

} // namespace zibbles::platform

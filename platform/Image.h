#pragma once

// An immutable RGBA8 image: sRGB, premultiplied alpha, rows stored top row first. Shared freely
// between threads once made.

#include <cstdint>
#include <memory>
#include <vector>

namespace zibbles::platform {

class Image {
  public:
    Image(std::int64_t width, std::int64_t height, std::vector<std::uint8_t> rgba)
        : width_(width), height_(height), rgba_(std::move(rgba)) {}

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    std::int64_t bytesPerRow() const { return width_ * 4; }
    // Four bytes per pixel (red, green, blue, alpha), memory row 0 is the top row.
    const std::vector<std::uint8_t>& rgba() const { return rgba_; }

  private:
    std::int64_t width_;
    std::int64_t height_;
    std::vector<std::uint8_t> rgba_;
};

using ImageRef = std::shared_ptr<const Image>;

} // namespace zibbles::platform

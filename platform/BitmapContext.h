#pragma once

// A bitmap drawing context, as far as the sprite needs one.
// Implemented features:
//  [X] W × H pixels, RGBA8, sRGB, premultiplied alpha, zero-filled (fully transparent) on
//      creation; coordinates with the origin at the bottom-left, y up, one unit per pixel; memory
//      rows stored top row first (memory row r holds y = H - 1 - r).
//  [X] Creation fails (gives null) for a side that is not positive, or for more than 2^28 pixels.
//  [X] The antialiasing flag and the interpolation quality, recorded. Fills of whole-pixel
//      rectangles cover whole pixels either way, so neither changes what is drawn.
//  [X] Rectangle fills with a solid sRGB colour, clipped to the bitmap, composited source-over.
//  [X] A snapshot into an immutable Image; later drawing does not change it.
//  [ ] Paths, strokes, images, text, transforms, other blend modes: nothing uses them.
//
// Byte values. A fill colour (r, g, b, a), each clamped into [0, 1] (a component that is not a
// number counts as 0), becomes the premultiplied source bytes
//     A = round(a × 255),  C = round(c × a × 255)  for each of r, g, b,
// rounded half away from zero. Source-over then gives, for every byte D already there,
//     D' = S + round(D × (255 − A) / 255)
// with S the source byte of the same component (C or A). An opaque fill therefore replaces what
// was there, and a fill with a = 0 leaves it unchanged.

#include "platform/Color.h"
#include "platform/Geometry.h"
#include "platform/Image.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace zibbles::platform {

enum class InterpolationQuality { Default, None, Low, Medium, High };

// Premultiplied RGBA bytes of a colour, as the fill rule above makes them. Any thread.
std::array<std::uint8_t, 4> premultipliedBytes(const Color& color);

// Main thread only (or any one thread at a time): a context is not shared.
class BitmapContext {
  public:
    static constexpr std::int64_t maxPixels = std::int64_t{1} << 28;

    // Null when width or height is not positive or width × height exceeds maxPixels.
    static std::unique_ptr<BitmapContext> create(std::int64_t width, std::int64_t height);

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    std::int64_t bytesPerRow() const { return width_ * 4; }

    void setShouldAntialias(bool antialias) { antialias_ = antialias; }
    bool shouldAntialias() const { return antialias_; }
    void setInterpolationQuality(InterpolationQuality quality) { interpolation_ = quality; }
    InterpolationQuality interpolationQuality() const { return interpolation_; }

    void setFillColor(const Color& color);
    // rect in bitmap coordinates (origin bottom-left). Parts outside the bitmap are not drawn;
    // an empty rect draws nothing.
    void fillRect(const IntRect& rect);

    // A copy of the pixels as they are now.
    ImageRef makeImage() const;
    // The four bytes of the pixel at (x, y), origin bottom-left. Both must lie in the bitmap.
    std::array<std::uint8_t, 4> pixelAt(std::int64_t x, std::int64_t y) const;

  private:
    BitmapContext(std::int64_t width, std::int64_t height);

    std::int64_t width_;
    std::int64_t height_;
    std::vector<std::uint8_t> rgba_;
    bool antialias_ = true;
    InterpolationQuality interpolation_ = InterpolationQuality::Default;
    std::array<std::uint8_t, 4> fill_{0, 0, 0, 255};
};

} // namespace zibbles::platform

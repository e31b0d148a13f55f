#pragma once

// An RGBA8 framebuffer in memory: the headless render target and the canvas the window target
// copies from.
// Implemented features:
//  [X] W × H pixels, premultiplied RGBA8 (bytes red, green, blue, alpha), rows top first, device
//      pixels with y growing downwards; opaque black when made or resized.
//  [X] Solid fills and nearest-neighbour image draws, clipped, composited source-over with the
//      same byte rule as the bitmap context. At a whole scale, opaque image rows are copied.
//  [X] A canvas over pixels it does not own (an X shared-memory segment): one part of a larger
//      target, in the byte order the target's visual wants (BGRA as well as RGBA).
//  [X] As a compositor target it shows nothing; it keeps the last damage for tests.
//  [ ] Smoothing when scaling images: the saver's layers ask for nearest-neighbour only.

#include "platform/CompositorTarget.h"
#include "platform/Geometry.h"
#include "platform/Image.h"

#include <array>
#include <cstdint>
#include <vector>

namespace zibbles::platform {

using Rgba8 = std::array<std::uint8_t, 4>;

// Which byte of a pixel in memory holds which channel. Colours are always given as RGBA.
enum class PixelOrder { Rgba, Bgra };

// Main thread only.
class SoftwareFramebuffer final : public CompositorTarget {
  public:
    // width and height in device pixels (below 0 counts as 0); scale in device pixels per point.
    SoftwareFramebuffer(std::int64_t width, std::int64_t height, double scale = 1.0,
                        PixelOrder order = PixelOrder::Rgba);
    // A canvas over pixels someone else owns, which must outlive it: they hold the part `area` of
    // a larger target (device pixels, top row 0), rowPixels apart from row to row. Coordinates
    // given to fill, drawImage and pixelAt stay the larger target's; drawing is clipped to area.
    static SoftwareFramebuffer borrowing(std::uint32_t* pixels, const IntRect& area,
                                         std::int64_t rowPixels, PixelOrder order);

    std::int64_t width() const { return width_; }
    std::int64_t height() const { return height_; }
    // The part of the target these pixels hold: at (0, 0) unless borrowed.
    IntRect area() const { return {originX_, originY_, width_, height_}; }
    PixelOrder order() const { return order_; }
    std::int64_t bytesPerRow() const { return rowPixels_ * 4; }
    const std::uint8_t* bytes() const { return reinterpret_cast<const std::uint8_t*>(base()); }
    // Opaque black again, at the new size. Not for borrowed pixels.
    void resize(std::int64_t width, std::int64_t height);
    void setScale(double scale) { scale_ = scale; }

    // rect in device pixels (top row 0), clipped. An opaque colour replaces what is there.
    void fill(const IntRect& rect, Rgba8 premultiplied);
    // The image stretched to dest with nearest-neighbour sampling, drawn only inside clip.
    void drawImage(const Image& image, const IntRect& dest, const IntRect& clip);
    // The pixels of an opaque framebuffer, its top-left at (x, y), replacing what is there inside
    // clip: rows are copied as they are when both hold the same byte order.
    void copyOpaque(const SoftwareFramebuffer& source, std::int64_t x, std::int64_t y,
                    const IntRect& clip);

    // Always RGBA, whatever the order in memory.
    Rgba8 pixelAt(std::int64_t x, std::int64_t y) const;
    // A copy of the pixels as an RGBA image (for PNG frames and screenshots).
    ImageRef snapshot() const;

    SoftwareFramebuffer& framebuffer() override { return *this; }
    double scale() const override { return scale_; }
    void present(const std::vector<IntRect>& damage) override { lastDamage_ = damage; }
    const std::vector<IntRect>& lastDamage() const { return lastDamage_; }

  private:
    SoftwareFramebuffer() = default;
    IntRect clipped(const IntRect& rect) const;
    std::uint32_t* rowAt(std::int64_t y) { return base() + (y - originY_) * rowPixels_ - originX_; }
    const std::uint32_t* base() const { return borrowed_ ? borrowed_ : pixels_.data(); }
    std::uint32_t* base() { return borrowed_ ? borrowed_ : pixels_.data(); }
    void drawRowAtWholeScale(const std::uint8_t* source, std::uint32_t* destination,
                             std::int64_t count);

    std::int64_t originX_ = 0;
    std::int64_t originY_ = 0;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    std::int64_t rowPixels_ = 0;
    double scale_ = 1.0;
    PixelOrder order_ = PixelOrder::Rgba;
    std::uint32_t* borrowed_ = nullptr;
    std::vector<std::uint32_t> pixels_; // one pixel each, in memory byte order
    std::vector<IntRect> lastDamage_;
};

// The intersection of two rectangles (empty when they do not meet).
IntRect intersection(const IntRect& a, const IntRect& b);
// The smallest rectangle holding both (an empty one adds nothing).
IntRect unionOf(const IntRect& a, const IntRect& b);

} // namespace zibbles::platform

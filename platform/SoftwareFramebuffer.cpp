#include "platform/SoftwareFramebuffer.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

namespace zibbles::platform {
namespace {

std::uint32_t packed(Rgba8 bytes) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data(), 4);
    return value;
}

const std::uint32_t kOpaqueBlack = packed({0, 0, 0, 255});

// Source-over of premultiplied bytes: d' = s + round(d × (255 − a) / 255), as in the bitmap
// context (the divisor is odd, so adding 127 rounds exactly).
void blendOver(std::uint8_t* dst, const std::uint8_t* src) {
    const unsigned inverse = 255u - src[3];
    for (int c = 0; c < 4; ++c)
        dst[c] = static_cast<std::uint8_t>(src[c] + (dst[c] * inverse + 127u) / 255u);
}

// A pixel's bytes in the other order: red and blue change places.
std::uint32_t swapRedBlue(std::uint32_t v) {
    if constexpr (std::endian::native == std::endian::little)
        return (v & 0xff00ff00u) | ((v >> 16) & 0xffu) | ((v & 0xffu) << 16);
    else
        return (v & 0x00ff00ffu) | ((v >> 16) & 0xff00u) | ((v & 0xff00u) << 16);
}

Rgba8 inOrder(Rgba8 rgba, PixelOrder order) {
    if (order == PixelOrder::Bgra)
        std::swap(rgba[0], rgba[2]);
    return rgba;
}

// One source pixel (RGBA bytes) over one destination pixel in the given order.
void drawPixel(std::uint32_t* dst, const std::uint8_t* src, PixelOrder order) {
    if (src[3] == 0)
        return;
    const Rgba8 ordered = inOrder({src[0], src[1], src[2], src[3]}, order);
    if (src[3] == 255)
        *dst = packed(ordered);
    else
        blendOver(reinterpret_cast<std::uint8_t*>(dst), ordered.data());
}

} // namespace

IntRect intersection(const IntRect& a, const IntRect& b) {
    const std::int64_t x0 = std::max(a.x, b.x);
    const std::int64_t y0 = std::max(a.y, b.y);
    const std::int64_t x1 = std::min(a.x + a.width, b.x + b.width);
    const std::int64_t y1 = std::min(a.y + a.height, b.y + b.height);
    if (x0 >= x1 || y0 >= y1)
        return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

IntRect unionOf(const IntRect& a, const IntRect& b) {
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    const std::int64_t x0 = std::min(a.x, b.x);
    const std::int64_t y0 = std::min(a.y, b.y);
    const std::int64_t x1 = std::max(a.x + a.width, b.x + b.width);
    const std::int64_t y1 = std::max(a.y + a.height, b.y + b.height);
    return {x0, y0, x1 - x0, y1 - y0};
}

SoftwareFramebuffer::SoftwareFramebuffer(std::int64_t width, std::int64_t height, double scale,
                                         PixelOrder order)
    : scale_(scale), order_(order) {
    resize(width, height);
}

SoftwareFramebuffer SoftwareFramebuffer::borrowing(std::uint32_t* pixels, const IntRect& area,
                                                   std::int64_t rowPixels, PixelOrder order) {
    assert(pixels && rowPixels >= area.width && "borrowed pixels must hold the area");
    SoftwareFramebuffer canvas;
    canvas.originX_ = area.x;
    canvas.originY_ = area.y;
    canvas.width_ = std::max<std::int64_t>(area.width, 0);
    canvas.height_ = std::max<std::int64_t>(area.height, 0);
    canvas.rowPixels_ = rowPixels;
    canvas.order_ = order;
    canvas.borrowed_ = pixels;
    return canvas;
}

void SoftwareFramebuffer::resize(std::int64_t width, std::int64_t height) {
    assert(!borrowed_ && "borrowed pixels cannot be resized");
    width_ = std::max<std::int64_t>(width, 0);
    height_ = std::max<std::int64_t>(height, 0);
    rowPixels_ = width_;
    pixels_.assign(static_cast<std::size_t>(width_ * height_), kOpaqueBlack);
}

IntRect SoftwareFramebuffer::clipped(const IntRect& rect) const {
    return intersection(rect, area());
}

void SoftwareFramebuffer::fill(const IntRect& rect, Rgba8 premultiplied) {
    const IntRect r = clipped(rect);
    if (r.empty() || premultiplied[3] == 0)
        return;
    const Rgba8 ordered = inOrder(premultiplied, order_);
    for (std::int64_t y = r.y; y < r.y + r.height; ++y) {
        std::uint32_t* row = rowAt(y) + r.x;
        if (premultiplied[3] == 255) {
            std::fill_n(row, r.width, packed(ordered));
            continue;
        }
        auto* bytes = reinterpret_cast<std::uint8_t*>(row);
        for (std::int64_t x = 0; x < r.width; ++x)
            blendOver(bytes + x * 4, ordered.data());
    }
}

// An image row shown one image pixel per device pixel: a row with no translucent pixel (most of
// the sprite's) is a plain copy, in RGBA, or a copy that swaps two bytes per pixel; in other rows
// only the pixels that are neither opaque nor transparent need the blend.
void SoftwareFramebuffer::drawRowAtWholeScale(const std::uint8_t* source,
                                              std::uint32_t* destination, std::int64_t count) {
    const std::uint32_t alphaBits = packed({0, 0, 0, 255});
    std::uint32_t all = alphaBits;
    for (std::int64_t i = 0; i < count; ++i) {
        std::uint32_t v;
        std::memcpy(&v, source + i * 4, 4);
        all &= v;
    }
    const bool swap = order_ == PixelOrder::Bgra;
    if ((all & alphaBits) == alphaBits && !swap) {
        std::memcpy(destination, source, static_cast<std::size_t>(count) * 4);
        return;
    }
    if ((all & alphaBits) == alphaBits) {
        for (std::int64_t i = 0; i < count; ++i) {
            std::uint32_t v;
            std::memcpy(&v, source + i * 4, 4);
            destination[i] = swapRedBlue(v);
        }
        return;
    }
    for (std::int64_t i = 0; i < count; ++i) {
        std::uint32_t v;
        std::memcpy(&v, source + i * 4, 4);
        if ((v & alphaBits) == alphaBits)
            destination[i] = swap ? swapRedBlue(v) : v;
        else if ((v & alphaBits) != 0)
            drawPixel(destination + i, source + i * 4, order_);
    }
}

void SoftwareFramebuffer::drawImage(const Image& image, const IntRect& dest, const IntRect& clip) {
    const IntRect r = intersection(clipped(dest), clip);
    const std::int64_t sw = image.width();
    const std::int64_t sh = image.height();
    if (r.empty() || sw <= 0 || sh <= 0 ||
        image.rgba().size() != static_cast<std::size_t>(sw * sh * 4))
        return;
    if (dest.width == sw && dest.height == sh) {
        for (std::int64_t y = r.y; y < r.y + r.height; ++y)
            drawRowAtWholeScale(image.rgba().data() + ((y - dest.y) * sw + (r.x - dest.x)) * 4,
                                rowAt(y) + r.x, r.width);
        return;
    }
    // Nearest neighbour: destination pixel i of n samples source pixel floor((i + ½) × s / n).
    std::vector<std::int64_t> columns(static_cast<std::size_t>(r.width));
    for (std::int64_t i = 0; i < r.width; ++i)
        columns[i] = ((2 * (r.x - dest.x + i) + 1) * sw) / (2 * dest.width);
    for (std::int64_t y = r.y; y < r.y + r.height; ++y) {
        const std::int64_t sourceRow = ((2 * (y - dest.y) + 1) * sh) / (2 * dest.height);
        const std::uint8_t* src = image.rgba().data() + sourceRow * sw * 4;
        std::uint32_t* dst = rowAt(y) + r.x;
        for (std::int64_t i = 0; i < r.width; ++i)
            drawPixel(dst + i, src + columns[i] * 4, order_);
    }
}

void SoftwareFramebuffer::copyOpaque(const SoftwareFramebuffer& source, std::int64_t x,
                                     std::int64_t y, const IntRect& clip) {
    const IntRect r = intersection(clipped({x, y, source.width_, source.height_}), clip);
    const bool swap = source.order_ != order_;
    for (std::int64_t row = r.y; row < r.y + r.height; ++row) {
        const std::uint32_t* from = source.base() + (row - y) * source.rowPixels_ + (r.x - x);
        std::uint32_t* to = rowAt(row) + r.x;
        if (!swap)
            std::memcpy(to, from, static_cast<std::size_t>(r.width) * 4);
        else
            std::transform(from, from + r.width, to, swapRedBlue);
    }
}

Rgba8 SoftwareFramebuffer::pixelAt(std::int64_t x, std::int64_t y) const {
    assert(!clipped({x, y, 1, 1}).empty() && "pixelAt outside the framebuffer");
    Rgba8 out;
    std::memcpy(out.data(), base() + (y - originY_) * rowPixels_ + (x - originX_), 4);
    return inOrder(out, order_);
}

ImageRef SoftwareFramebuffer::snapshot() const {
    std::vector<std::uint8_t> copy(static_cast<std::size_t>(width_ * height_ * 4));
    for (std::int64_t y = 0; y < height_; ++y) {
        std::uint8_t* to = copy.data() + y * width_ * 4;
        std::memcpy(to, bytes() + y * bytesPerRow(), static_cast<std::size_t>(width_) * 4);
        if (order_ == PixelOrder::Bgra)
            for (std::int64_t x = 0; x < width_; ++x)
                std::swap(to[x * 4], to[x * 4 + 2]);
    }
    return std::make_shared<const Image>(width_, height_, std::move(copy));
}

} // namespace zibbles::platform

#include "platform/SoftwareFramebuffer.h"

#include <algorithm>
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

SoftwareFramebuffer::SoftwareFramebuffer(std::int64_t width, std::int64_t height, double scale)
    : scale_(scale) {
    resize(width, height);
}

void SoftwareFramebuffer::resize(std::int64_t width, std::int64_t height) {
    width_ = std::max<std::int64_t>(width, 0);
    height_ = std::max<std::int64_t>(height, 0);
    pixels_.assign(static_cast<std::size_t>(width_ * height_), kOpaqueBlack);
}

IntRect SoftwareFramebuffer::clipped(const IntRect& rect) const {
    return intersection(rect, IntRect{0, 0, width_, height_});
}

void SoftwareFramebuffer::fill(const IntRect& rect, Rgba8 premultiplied) {
    const IntRect r = clipped(rect);
    if (r.empty() || premultiplied[3] == 0)
        return;
    for (std::int64_t y = r.y; y < r.y + r.height; ++y) {
        std::uint32_t* row = pixels_.data() + y * width_ + r.x;
        if (premultiplied[3] == 255) {
            std::fill_n(row, r.width, packed(premultiplied));
            continue;
        }
        auto* bytes = reinterpret_cast<std::uint8_t*>(row);
        for (std::int64_t x = 0; x < r.width; ++x)
            blendOver(bytes + x * 4, premultiplied.data());
    }
}

void SoftwareFramebuffer::drawImage(const Image& image, const IntRect& dest, const IntRect& clip) {
    const IntRect r = intersection(clipped(dest), clip);
    const std::int64_t sw = image.width();
    const std::int64_t sh = image.height();
    if (r.empty() || sw <= 0 || sh <= 0 ||
        image.rgba().size() != static_cast<std::size_t>(sw * sh * 4))
        return;
    // Nearest neighbour: destination pixel i of n samples source pixel floor((i + ½) × s / n).
    std::vector<std::int64_t> columns(static_cast<std::size_t>(r.width));
    for (std::int64_t i = 0; i < r.width; ++i)
        columns[i] = ((2 * (r.x - dest.x + i) + 1) * sw) / (2 * dest.width);
    for (std::int64_t y = r.y; y < r.y + r.height; ++y) {
        const std::int64_t sourceRow = ((2 * (y - dest.y) + 1) * sh) / (2 * dest.height);
        const std::uint8_t* src = image.rgba().data() + sourceRow * sw * 4;
        auto* dst = reinterpret_cast<std::uint8_t*>(pixels_.data() + y * width_ + r.x);
        for (std::int64_t i = 0; i < r.width; ++i, dst += 4) {
            const std::uint8_t* s = src + columns[i] * 4;
            if (s[3] == 255)
                std::memcpy(dst, s, 4);
            else if (s[3] != 0)
                blendOver(dst, s);
        }
    }
}

Rgba8 SoftwareFramebuffer::pixelAt(std::int64_t x, std::int64_t y) const {
    assert(x >= 0 && x < width_ && y >= 0 && y < height_ && "pixelAt outside the framebuffer");
    Rgba8 out;
    std::memcpy(out.data(), &pixels_[static_cast<std::size_t>(y * width_ + x)], 4);
    return out;
}

ImageRef SoftwareFramebuffer::snapshot() const {
    std::vector<std::uint8_t> copy(bytes(), bytes() + pixels_.size() * 4);
    return std::make_shared<const Image>(width_, height_, std::move(copy));
}

} // namespace zibbles::platform

#include "platform/BitmapContext.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

namespace zibbles::platform {
namespace {

double unit(double component) {
    if (std::isnan(component))
        return 0.0;
    return std::clamp(component, 0.0, 1.0);
}

std::uint8_t byteOf(double unitValue) {
    return static_cast<std::uint8_t>(std::round(unitValue * 255.0));
}

// round(d × (255 − a) / 255) in integers: the quotient of an odd divisor is never a half, so
// adding 127 before dividing rounds to nearest exactly.
std::uint8_t scaledByInverseAlpha(std::uint8_t d, std::uint8_t a) {
    return static_cast<std::uint8_t>((d * (255u - a) + 127u) / 255u);
}

} // namespace

std::array<std::uint8_t, 4> premultipliedBytes(const Color& color) {
    const double a = unit(color.alpha);
    return {byteOf(unit(color.red) * a), byteOf(unit(color.green) * a),
            byteOf(unit(color.blue) * a), byteOf(a)};
}

std::unique_ptr<BitmapContext> BitmapContext::create(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0 || width > maxPixels / height)
        return nullptr;
    return std::unique_ptr<BitmapContext>(new BitmapContext(width, height));
}

BitmapContext::BitmapContext(std::int64_t width, std::int64_t height)
    : width_(width), height_(height), rgba_(static_cast<std::size_t>(width * height * 4), 0) {}

void BitmapContext::setFillColor(const Color& color) {
    fill_ = premultipliedBytes(color);
}

void BitmapContext::fillRect(const IntRect& rect) {
    if (rect.empty())
        return;
    // Clip in bitmap coordinates; subtraction-free comparisons keep huge values from overflowing.
    const std::int64_t x0 = std::clamp<std::int64_t>(rect.x, 0, width_);
    const std::int64_t y0 = std::clamp<std::int64_t>(rect.y, 0, height_);
    const std::int64_t x1 =
        rect.x > width_ - rect.width ? width_ : std::max<std::int64_t>(rect.x + rect.width, 0);
    const std::int64_t y1 =
        rect.y > height_ - rect.height ? height_ : std::max<std::int64_t>(rect.y + rect.height, 0);
    if (x0 >= x1 || y0 >= y1)
        return;
    const std::uint8_t a = fill_[3];
    if (a == 0)
        return;
    // Bitmap rows y0..y1-1 are memory rows height - y1 .. height - y0 - 1.
    for (std::int64_t row = height_ - y1; row < height_ - y0; ++row) {
        std::uint8_t* p = rgba_.data() + (row * width_ + x0) * 4;
        for (std::int64_t x = x0; x < x1; ++x, p += 4) {
            if (a == 255) {
                std::memcpy(p, fill_.data(), 4);
                continue;
            }
            for (int c = 0; c < 4; ++c)
                p[c] = static_cast<std::uint8_t>(fill_[c] + scaledByInverseAlpha(p[c], a));
        }
    }
}

ImageRef BitmapContext::makeImage() const {
    return std::make_shared<const Image>(width_, height_, rgba_);
}

std::array<std::uint8_t, 4> BitmapContext::pixelAt(std::int64_t x, std::int64_t y) const {
    assert(x >= 0 && x < width_ && y >= 0 && y < height_ && "pixelAt outside the bitmap");
    const std::uint8_t* p = rgba_.data() + ((height_ - 1 - y) * width_ + x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

} // namespace zibbles::platform

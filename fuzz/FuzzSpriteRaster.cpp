// Any figure, at any size and scale, rasters to fills inside the bitmap and draws without a byte
// outside it; a bitmap context clips any integer rectangle. Input: sprite size, scale, a mode
// byte, a content rectangle, then pixels (four doubles and four colour bytes each).

#include "Zibbles/ContentBounds.h"
#include "Zibbles/SpriteImage.h"
#include "Zibbles/SpriteRaster.h"
#include "platform/BitmapContext.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

class Reader {
  public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t left() const { return size_; }
    template <typename T> T next() {
        T value{};
        const std::size_t n = size_ < sizeof value ? size_ : sizeof value;
        std::memcpy(&value, data_, n);
        data_ += n;
        size_ -= n;
        return value;
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

constexpr std::size_t pixelBytes = 4 * sizeof(double) + 4;

zibbles::Pixel readPixel(Reader& in) {
    zibbles::Pixel p;
    p.x = in.next<double>();
    p.y = in.next<double>();
    p.w = in.next<double>();
    p.h = in.next<double>();
    p.color = {in.next<std::uint8_t>() / 255.0, in.next<std::uint8_t>() / 255.0,
               in.next<std::uint8_t>() / 255.0, in.next<std::uint8_t>() / 255.0};
    return p;
}

void checkRaster(const zibbles::Rect& content, const std::vector<zibbles::Pixel>& pixels,
                 double spriteSize, double scale) {
    const auto raster = zibbles::rasterSprite(content, pixels, spriteSize, scale);
    if (raster) {
        if (raster->fills.size() > pixels.size())
            std::abort();
        for (const auto& fill : raster->fills) {
            const auto& r = fill.rect;
            if (r.x < 0 || r.y < 0 || r.width <= 0 || r.height <= 0 ||
                r.width > raster->side - r.x || r.height > raster->side - r.y)
                std::abort();
        }
    }
    const auto image = zibbles::drawSpriteImage(content, pixels, spriteSize, scale);
    if ((image != nullptr) != raster.has_value())
        std::abort();
    if (image &&
        (image->width() != raster->side ||
         image->rgba().size() != static_cast<std::size_t>(raster->side * raster->side * 4)))
        std::abort();
}

// The same bytes read as integer rectangles, filled into a small bitmap: clipping must hold for
// any values, the extremes of int64 included.
void checkContext(const std::uint8_t* data, std::size_t size) {
    Reader in(data, size);
    auto bitmap = zibbles::platform::BitmapContext::create(7, 5);
    while (in.left() >= 4 * sizeof(std::int64_t) + 1) {
        const zibbles::platform::IntRect rect{in.next<std::int64_t>(), in.next<std::int64_t>(),
                                              in.next<std::int64_t>(), in.next<std::int64_t>()};
        const double alpha = in.next<std::uint8_t>() / 255.0;
        bitmap->setFillColor({1.0, 0.5, 0.25, alpha});
        bitmap->fillRect(rect);
    }
    (void)bitmap->makeImage();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A few hundred pixels reach every branch; more only slow each run.
    if (size > 64 * 1024)
        return -1;
    Reader in(data, size);
    const double spriteSize = in.next<double>();
    const double scale = in.next<double>();
    // The bitmap may be as large as 2^28 pixels; past 512 a side each run only gets slower.
    if (const auto side = zibbles::spriteSide(spriteSize, scale); side && *side > 512)
        return -1;
    const auto mode = in.next<std::uint8_t>();
    zibbles::Rect content{in.next<double>(), in.next<double>(), in.next<double>(),
                          in.next<double>()};
    std::vector<zibbles::Pixel> pixels;
    while (in.left() >= pixelBytes)
        pixels.push_back(readPixel(in));
    // Mostly the content the decoder would compute; sometimes one that does not fit the figure.
    if (mode & 1)
        content = zibbles::contentBounds(pixels);
    checkRaster(content, pixels, spriteSize, scale);
    checkContext(data, size);
    return 0;
}

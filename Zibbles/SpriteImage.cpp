#include "Zibbles/SpriteImage.h"

#include "Zibbles/SpriteRaster.h"
#include "platform/BitmapContext.h"

namespace zibbles {

namespace {

// Real figures cover their square about once. Hostile artwork can stack a hundred thousand
// translucent full-square fills within the body cap: tens of seconds of blending on the main
// thread at a swap. Filling stops once this many squares' worth of pixels have been filled,
// which no figure meant to be looked at comes near.
constexpr std::int64_t fillBudgetInSquares = 64;

} // namespace

platform::ImageRef drawSpriteImage(const Rect& content, const std::vector<Pixel>& pixels,
                                   double spriteSize, double scale) {
    const auto raster = rasterSprite(content, pixels, spriteSize, scale);
    if (!raster)
        return nullptr;
    auto bitmap = platform::BitmapContext::create(raster->side, raster->side);
    if (!bitmap)
        return nullptr;
    bitmap->setShouldAntialias(false);
    bitmap->setInterpolationQuality(platform::InterpolationQuality::None);
    std::int64_t budget = fillBudgetInSquares * raster->side * raster->side;
    for (const RasterFill& fill : raster->fills) {
        // Clipped to the bitmap, so the area cannot overflow.
        budget -= fill.rect.width * fill.rect.height;
        if (budget < 0)
            break;
        const Color& c = fill.color;
        bitmap->setFillColor(platform::Color{c.red, c.green, c.blue, c.alpha});
        bitmap->fillRect(fill.rect);
    }
    return bitmap->makeImage();
}

} // namespace zibbles

#include "Zibbles/SpriteImage.h"

#include "Zibbles/SpriteRaster.h"
#include "platform/BitmapContext.h"

namespace zibbles {

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
    for (const RasterFill& fill : raster->fills) {
        const Color& c = fill.color;
        bitmap->setFillColor(platform::Color{c.red, c.green, c.blue, c.alpha});
        bitmap->fillRect(fill.rect);
    }
    return bitmap->makeImage();
}

} // namespace zibbles

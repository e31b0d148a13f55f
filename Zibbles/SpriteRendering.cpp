#include "Zibbles/SpriteRaster.h"
#include "Zibbles/ZibblesBounceView.h"
#include "platform/BitmapContext.h"

namespace zibbles {
namespace {

// Scale used when the view is in no window and there is no main screen.
constexpr double kFallbackScale = 2.0;

double backingScale(const ZibblesBounceView& view) {
    if (view.window())
        return view.window()->backingScaleFactor();
    if (view.environment().mainScreen)
        return view.environment().mainScreen->backingScaleFactor();
    return kFallbackScale;
}

// The figure drawn into a fresh bitmap, or nothing when there is nothing to show.
platform::ImageRef renderFigure(const LoadedZibble& figure, double spriteSize, double scale) {
    const auto raster = rasterSprite(figure.content, figure.pixels, spriteSize, scale);
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

} // namespace

void ZibblesBounceView::refreshSprite() {
    if (!current) {
        spriteLayer->setContents(nullptr);
        return;
    }
    const double scale = backingScale(*this);
    // Set before anything can fail, so the layer always knows the scale of the figure meant
    // for it.
    spriteLayer->setContentsScale(scale);
    spriteLayer->setContents(renderFigure(*current, spriteSize, scale));
}

} // namespace zibbles

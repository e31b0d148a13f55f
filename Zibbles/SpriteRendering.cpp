#include "Zibbles/SpriteImage.h"
#include "Zibbles/ZibblesBounceView.h"

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
    // Null (nothing shown) for a degenerate figure, a side that is not positive or a bitmap
    // that cannot be made.
    spriteLayer->setContents(drawSpriteImage(current->content, current->pixels, spriteSize, scale));
}

} // namespace zibbles

#include "Zibbles/ZibblesBounceView.h"

namespace zibbles {

// FIXME: draws nothing yet; the sprite raster lands with the compositor.
void ZibblesBounceView::refreshSprite() {}

} // namespace zibbles

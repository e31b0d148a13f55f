#pragma once

// A figure drawn into a fresh square bitmap, exactly as the sprite layer shows it: the raster's
// fills in list order, source-over, into an N × N premultiplied RGBA bitmap with antialiasing off.
// The sprite and the inspector share it, so both show a figure the same way. Fills stop after 64
// squares' worth of pixels, so hostile artwork cannot stall the main thread.

#include "Zibbles/decode/Pixel.h"
#include "platform/Image.h"

#include <vector>

namespace zibbles {

// Null when there is nothing to draw: a content of no positive width and height, no valid side
// (scale × spriteSize rounded), or a bitmap that cannot be made. Any thread.
platform::ImageRef drawSpriteImage(const Rect& content, const std::vector<Pixel>& pixels,
                                   double spriteSize, double scale);

} // namespace zibbles

#pragma once

#include "Zibbles/decode/Pixel.h"

#include <vector>

namespace zibbles {

// The rectangle covering every pixel: the smallest x and y, reaching to the largest x + w and
// y + h; the zero rectangle for no pixels. Comparisons are exact and in list order, so a value
// that is not a number, in any pixel but the first, never replaces the running extreme.
// Any thread.
Rect contentBounds(const std::vector<Pixel>& pixels);

} // namespace zibbles

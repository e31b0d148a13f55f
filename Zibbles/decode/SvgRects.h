#pragma once

// The rect tags of an SVG document as coloured rectangles, read by pattern over the raw text
// (no XML parsing): each "<rect" up to the next ">" is one tag, and in it the leftmost
// x, y, width, height (="[0-9.]+") and fill (="#" and 3 to 8 hex digits) attributes, with either
// quote on either side. Missing numbers default to 0 (x, y) and 1 (width, height); a tag without
// a "#" colour, or a background anchored at the origin 30 units or more on both sides, is left
// out. Everything else in the document, comments included, is ignored.

#include "Zibbles/decode/Pixel.h"

#include <string_view>
#include <vector>

namespace zibbles {

// The pixels in document order, possibly none. Never fails; linear in the text. Any thread.
std::vector<Pixel> parsePixels(std::string_view svg);

// The same, found with the regular expressions "<rect[^>]*>", name + "=[\"']([0-9.]+)[\"']" and
// "fill=[\"'](#[0-9a-fA-F]{3,8})[\"']". The reference that parsePixels must agree with on every
// input; slower, as the engine's cost per search dominates in tags this short. Any thread.
std::vector<Pixel> parsePixelsWithRegex(std::string_view svg);

} // namespace zibbles

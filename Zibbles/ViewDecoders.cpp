// The decoders under the view's own name: callers that think in terms of the view find them there,
// and there is still one implementation of each.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/ZibblesBounceView.h"
#include "Zibbles/decode/AbiString.h"
#include "Zibbles/decode/SvgRects.h"
#include "Zibbles/decode/TokenUri.h"

namespace zibbles {

std::optional<std::string> ZibblesBounceView::decodeAbiString(std::string_view hex) {
    return zibbles::decodeAbiString(hex);
}

std::optional<std::string> ZibblesBounceView::decodeDataURIToSVG(std::string_view tokenUri) {
    return zibbles::decodeDataURIToSVG(tokenUri);
}

std::vector<Pixel> ZibblesBounceView::parsePixels(std::string_view svg) {
    return zibbles::parsePixels(svg);
}

Rect ZibblesBounceView::contentBounds(const std::vector<Pixel>& pixels) {
    return zibbles::contentBounds(pixels);
}

} // namespace zibbles

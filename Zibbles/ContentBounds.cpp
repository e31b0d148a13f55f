#include "Zibbles/ContentBounds.h"

namespace zibbles {

Rect contentBounds(const std::vector<Pixel>& pixels) {
    if (pixels.empty())
        return Rect{};
    const Pixel& first = pixels.front();
    double minX = first.x, minY = first.y;
    double maxX = first.x + first.w, maxY = first.y + first.h;
    for (const Pixel& p : pixels) {
        const double right = p.x + p.w, bottom = p.y + p.h;
        if (p.x < minX)
            minX = p.x;
        if (p.y < minY)
            minY = p.y;
        if (maxX <= right)
            maxX = right;
        if (maxY <= bottom)
            maxY = bottom;
    }
    return Rect{minX, minY, maxX - minX, maxY - minY};
}

} // namespace zibbles

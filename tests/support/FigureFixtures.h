#pragma once

// Figures for the sprite's tests, made in code.

#include "Zibbles/ZibblesBounceView.h"

namespace zibbles::testing {

// A 6 × 5 checker of single cells in two opaque colours, so that any resampling shows.
inline LoadedZibble checkerFigure() {
    LoadedZibble figure;
    figure.tokenId = 1;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            figure.pixels.push_back(
                Pixel{static_cast<double>(x), static_cast<double>(y), 1, 1,
                      (x + y) % 2 ? Color{1, 0.5, 0, 1} : Color{0, 0.25, 1, 1}});
    figure.content = ZibblesBounceView::contentBounds(figure.pixels);
    return figure;
}

} // namespace zibbles::testing

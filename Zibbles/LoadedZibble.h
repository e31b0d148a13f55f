#pragma once

// One decoded token ready to be shown: a plain value, shared between threads without locks.

#include "Zibbles/decode/Pixel.h"

#include <cstdint>
#include <vector>

namespace zibbles {

// The argument of tokenURI(uint256); the ids fetched lie in 1 through 83300.
using TokenId = std::int64_t;

struct LoadedZibble {
    TokenId tokenId = 0;
    std::vector<Pixel> pixels; // never empty, in document order
    Rect content;              // covers every pixel, as contentBounds gives it
};

} // namespace zibbles

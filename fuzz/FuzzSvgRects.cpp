// The hand-written matcher must find exactly what the regular expressions find, on any bytes.

#include "Zibbles/decode/SvgRects.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Both matchers are linear; 64 KB holds hundreds of tags, more only slows each run.
    if (size > 64 * 1024)
        return -1;
    const std::string_view svg(reinterpret_cast<const char*>(data), size);
    if (zibbles::parsePixels(svg) != zibbles::parsePixelsWithRegex(svg))
        std::abort();
    return 0;
}

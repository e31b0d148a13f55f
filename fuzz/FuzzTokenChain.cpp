// A whole JSON-RPC answer, as the network delivers it, through to the figure drawn in a small
// sprite.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/SpriteImage.h"
#include "Zibbles/decode/TokenChain.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every stage is linear; a real answer is a few hundred kilobytes at most.
    if (size > 512 * 1024)
        return -1;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto pixels = zibbles::decodeRpcResponse(body);
    if (pixels) {
        const zibbles::Rect content = zibbles::contentBounds(*pixels.value);
        // A 24-pixel sprite: the drawing's cost, not its size, is what is being fuzzed here.
        (void)zibbles::drawSpriteImage(content, *pixels.value, 12.0, 2.0);
    }
    return 0;
}

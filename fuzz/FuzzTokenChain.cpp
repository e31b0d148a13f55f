// A whole JSON-RPC answer, as the network delivers it, through to the figure's bounds.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/decode/TokenChain.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Every stage is linear; a real answer is a few hundred kilobytes at most.
    if (size > 512 * 1024)
        return -1;
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const auto pixels = zibbles::decodeRpcResponse(body);
    if (pixels)
        (void)zibbles::contentBounds(*pixels.value);
    return 0;
}

#pragma once

// The whole way from a JSON-RPC answer of tokenURI to the figure's pixels, and the stages that
// make it up, each with the reason when it gives nothing. The fetch completion and the inspector
// share these, so a token decodes the same everywhere.

#include "Zibbles/decode/Decoded.h"
#include "Zibbles/decode/Pixel.h"

#include <string>
#include <string_view>
#include <vector>

namespace zibbles {

using Pixels = std::vector<Pixel>;

// The "result" string of a JSON-RPC response body whose top level is an object. Any thread.
Decoded<std::string> rpcResultOf(std::string_view body);

// parsePixels, failing when the document yields no pixel at all. Any thread.
Decoded<Pixels> pixelsOfSvg(std::string_view svg);

// An eth_call result's hexadecimal text to pixels. Any thread.
Decoded<Pixels> decodeTokenHex(std::string_view hex);

// A JSON-RPC response body to pixels: rpcResultOf, then decodeTokenHex. Any thread.
Decoded<Pixels> decodeRpcResponse(std::string_view body);

} // namespace zibbles

#pragma once

// tokenURI answers as a contract and a JSON-RPC node give them, for a small figure per token id.
// Header-only.

#include "tests/support/TokenBuilder.h"

#include <cstdint>
#include <string>

namespace zibbles::testing {

// A 240-unit canvas: the background (which the decoder drops) and three 10-unit squares whose
// colour and place follow the id, so figures of different tokens differ.
inline std::string figureSvg(std::int64_t tokenId) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string colour = "#";
    for (int shift = 20; shift >= 0; shift -= 4)
        colour += digits[(static_cast<std::uint64_t>(tokenId) * 2654435761u >> shift) & 15];
    const std::string x = std::to_string(10 * (tokenId % 20));
    std::string svg = R"(<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 240 240">)";
    svg += R"(<rect x="0" y="0" width="240" height="240" fill="#1f7a74"/>)";
    for (const char* y : {"100", "110", "120"})
        svg += R"(<rect x=")" + x + R"(" y=")" + y + R"(" width="10" height="10" fill=")" + colour +
               R"("/>)";
    return svg + "</svg>";
}

// The eth_call result of tokenURI(tokenId): an ABI string holding the JSON token URI.
inline std::string tokenUriResult(std::int64_t tokenId) {
    return abiEncodeString(tokenUriOfSvg(figureSvg(tokenId)));
}

// A whole JSON-RPC answer carrying that result.
inline std::string tokenUriAnswer(std::int64_t tokenId) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(tokenId) + R"(,"result":")" +
           tokenUriResult(tokenId) + R"("})";
}

} // namespace zibbles::testing

#pragma once

// Where the tokens come from: constants of the build (the CMake cache variables ZIBBLES_RPC_URL
// and ZIBBLES_CONTRACT), kept in this one place.

#include <string_view>

namespace zibbles::Endpoint {

// The JSON-RPC endpoint asked for tokenURI. Any thread.
std::string_view rpcURL();
// The collection contract: "0x" and 40 lower-case hexadecimal digits. Any thread.
std::string_view contractAddress();

} // namespace zibbles::Endpoint

#pragma once

// The JSON-RPC request that asks the collection contract for one token's URI: an eth_call of
// tokenURI(uint256) at the latest block. Pure; any thread.

#include "Zibbles/LoadedZibble.h"
#include "platform/HttpSession.h"

#include <string>
#include <string_view>

namespace zibbles {

// Seconds a fetch may go without receiving anything before it fails.
constexpr double tokenRequestTimeout = 12.0;

// "0xc87b56dd", the selector of tokenURI(uint256), then the id as 64 lower-case hexadecimal
// digits: 74 characters.
std::string tokenUriCallData(TokenId tokenId);

// Compact JSON: {"jsonrpc":"2.0","id":<tokenId>,"method":"eth_call",
// "params":[{"to":<contract>,"data":<call data>},"latest"]}. The contract is "0x" and
// hexadecimal digits, so it needs no escaping.
std::string tokenUriRequestBody(TokenId tokenId, std::string_view contract);

// The POST of that body to url, as JSON, with the given timeout in seconds.
platform::HttpRequest tokenUriRequest(TokenId tokenId, std::string url, std::string_view contract,
                                      double timeoutSeconds);

} // namespace zibbles

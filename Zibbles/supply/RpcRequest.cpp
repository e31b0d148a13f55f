#include "Zibbles/supply/RpcRequest.h"

#include <cstdint>

namespace zibbles {

namespace {

constexpr std::string_view tokenUriSelector = "0xc87b56dd";
constexpr std::size_t argumentDigits = 64;

} // namespace

std::string tokenUriCallData(TokenId tokenId) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string argument(argumentDigits, '0');
    auto value = static_cast<std::uint64_t>(tokenId);
    for (std::size_t i = argumentDigits; value != 0; value >>= 4)
        argument[--i] = digits[value & 15];
    return std::string(tokenUriSelector) + argument;
}

std::string tokenUriRequestBody(TokenId tokenId, std::string_view contract) {
    return R"({"jsonrpc":"2.0","id":)" + std::to_string(tokenId) +
           R"(,"method":"eth_call","params":[{"to":")" + std::string(contract) + R"(","data":")" +
           tokenUriCallData(tokenId) + R"("},"latest"]})";
}

platform::HttpRequest tokenUriRequest(TokenId tokenId, std::string url, std::string_view contract,
                                      double timeoutSeconds) {
    platform::HttpRequest request;
    request.url = std::move(url);
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json"}};
    request.body = tokenUriRequestBody(tokenId, contract);
    request.cachePolicy = 0;
    request.timeoutInterval = timeoutSeconds;
    request.traceLabel = std::to_string(tokenId);
    return request;
}

} // namespace zibbles

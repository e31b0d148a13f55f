#include "Zibbles/supply/Endpoint.h"

namespace zibbles::Endpoint {

std::string_view rpcURL() {
    return ZIBBLES_RPC_URL;
}

std::string_view contractAddress() {
    return ZIBBLES_CONTRACT;
}

} // namespace zibbles::Endpoint

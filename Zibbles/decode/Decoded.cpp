#include "Zibbles/decode/Decoded.h"

namespace zibbles {

const char* stageName(DecodeStage stage) {
    switch (stage) {
    case DecodeStage::RpcResponse:
        return "rpc";
    case DecodeStage::AbiString:
        return "abi";
    case DecodeStage::TokenUri:
        return "uri";
    case DecodeStage::Svg:
        return "svg";
    }
    return "unknown";
}

} // namespace zibbles

#pragma once

// The answer of a decoding stage: its value, or why it gave none. The plain decoders return only
// the value; hosts that talk to people read the reason.

#include <optional>
#include <string>
#include <utility>

namespace zibbles {

// The stage that gave up, in the order a token passes through them.
enum class DecodeStage { RpcResponse, AbiString, TokenUri, Svg };

// A short stable name for each stage ("rpc", "abi", "uri", "svg"), for machine-readable output.
const char* stageName(DecodeStage stage);

struct DecodeError {
    DecodeStage stage = DecodeStage::RpcResponse;
    std::string message; // One line naming the stage and the reason, e.g. "the token URI's ..."
};

template <typename T> struct Decoded {
    std::optional<T> value;
    DecodeError error; // Meaningful only when value is empty.

    static Decoded success(T v) { return Decoded{std::move(v), {}}; }
    static Decoded failure(DecodeStage stage, std::string message) {
        return Decoded{std::nullopt, DecodeError{stage, std::move(message)}};
    }
    explicit operator bool() const { return value.has_value(); }
};

} // namespace zibbles

#pragma once

// Runs the decoding chain from whatever stage the input is at, keeping the stages it ran.

#include "Zibbles/decode/Decoded.h"
#include "Zibbles/decode/TokenChain.h"

#include <string_view>
#include <vector>

namespace zibbles::host {

// RpcOnly: a node's answer, read as the saver reads it, as JSON whatever it starts with.
enum class InputKinds { AnyStage, RpcOrHexOnly, RpcOnly };

struct StagedDecoding {
    std::vector<DecodeStage> stages; // In the order they ran; the last one failed on failure.
    Decoded<Pixels> pixels;
};

// Recognises the input by its first non-blank characters and decodes it from there.
StagedDecoding decodeStaged(std::string_view input, InputKinds kinds);

} // namespace zibbles::host

#include "hosts/common/StagedDecoding.h"

#include "Zibbles/decode/AbiString.h"
#include "Zibbles/decode/TokenUri.h"

#include <cctype>
#include <optional>

namespace zibbles::host {

namespace {

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<DecodeStage> firstStageOf(std::string_view text) {
    if (text.starts_with('{'))
        return DecodeStage::RpcResponse;
    if (text.starts_with("data:"))
        return DecodeStage::TokenUri;
    if (text.starts_with('<'))
        return DecodeStage::Svg;
    if (!text.empty() && std::isxdigit(static_cast<unsigned char>(text.front())))
        return DecodeStage::AbiString; // "0x" starts with a hex digit too.
    return std::nullopt;
}

// Runs one stage when the chain has reached it, handing its text on to the next.
// The first stage reads the input where it lies; a whole dump's worth of copies would cost more
// than some stages.
struct Runner {
    StagedDecoding inspection;
    std::string_view text;
    std::string owned;

    template <typename Stage> bool run(DecodeStage stage, Stage decode) {
        inspection.stages.push_back(stage);
        Decoded<std::string> next = decode(text);
        if (!next) {
            inspection.pixels = Decoded<Pixels>{std::nullopt, next.error};
            return false;
        }
        owned = std::move(*next.value);
        text = owned;
        return true;
    }
};

} // namespace

StagedDecoding decodeStaged(std::string_view input, InputKinds kinds) {
    const std::string_view text = trimmed(input);
    const std::optional<DecodeStage> first =
        kinds == InputKinds::RpcOnly ? DecodeStage::RpcResponse : firstStageOf(text);
    const bool allowed =
        first && (kinds == InputKinds::AnyStage || *first == DecodeStage::RpcResponse ||
                  *first == DecodeStage::AbiString);
    if (!allowed) {
        const char* expected = kinds == InputKinds::AnyStage
                                   ? "a JSON-RPC response, a hex result, a token URI or an SVG"
                                   : "a JSON-RPC response or a hex result";
        return StagedDecoding{
            {},
            Decoded<Pixels>::failure(DecodeStage::RpcResponse,
                                     std::string("the input is not ") + expected)};
    }
    Runner runner;
    runner.text = text;
    const int start = static_cast<int>(*first);
    if (start <= static_cast<int>(DecodeStage::RpcResponse) &&
        !runner.run(DecodeStage::RpcResponse, rpcResultOf))
        return runner.inspection;
    if (start <= static_cast<int>(DecodeStage::AbiString) &&
        !runner.run(DecodeStage::AbiString, decodeAbiStringDiagnosed))
        return runner.inspection;
    if (start <= static_cast<int>(DecodeStage::TokenUri) &&
        !runner.run(DecodeStage::TokenUri, decodeDataURIToSVGDiagnosed))
        return runner.inspection;
    runner.inspection.stages.push_back(DecodeStage::Svg);
    runner.inspection.pixels = pixelsOfSvg(runner.text);
    return runner.inspection;
}

} // namespace zibbles::host

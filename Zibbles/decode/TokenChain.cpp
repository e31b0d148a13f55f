#include "Zibbles/decode/TokenChain.h"

#include "Zibbles/decode/AbiString.h"
#include "Zibbles/decode/SvgRects.h"
#include "Zibbles/decode/TokenUri.h"

#include <simdjson.h>

#include <optional>

namespace zibbles {

namespace {

Decoded<std::string> failRpc(std::string message) {
    return Decoded<std::string>::failure(DecodeStage::RpcResponse, std::move(message));
}

// The node's own words when it answered with a JSON-RPC error instead of a result.
std::string rpcErrorDetail(simdjson::dom::object response) {
    simdjson::dom::object error;
    if (response["error"].get_object().get(error))
        return "";
    std::string detail = " (error";
    int64_t code = 0;
    if (!error["code"].get_int64().get(code))
        detail.append(" ").append(std::to_string(code));
    std::string_view message;
    if (!error["message"].get_string().get(message))
        detail.append(": ").append(message);
    return detail.append(")");
}

// simdjson finds the first of duplicate keys; a dictionary built from the text keeps the last, as
// the token URI's "image" does, so saver and inspector both take the last one.
std::optional<simdjson::dom::element> lastMember(simdjson::dom::object object,
                                                 std::string_view key) {
    std::optional<simdjson::dom::element> found;
    for (const auto field : object)
        if (field.key == key)
            found = field.value;
    return found;
}

template <typename T> Decoded<Pixels> carryFailure(const Decoded<T>& failed) {
    return Decoded<Pixels>{std::nullopt, failed.error};
}

} // namespace

Decoded<std::string> rpcResultOf(std::string_view body) {
    const simdjson::padded_string padded(body);
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (auto error = parser.parse(padded).get(root))
        return failRpc(std::string("the JSON-RPC response is not JSON (") +
                       simdjson::error_message(error) + ")");
    simdjson::dom::object response;
    if (root.get_object().get(response))
        return failRpc("the JSON-RPC response is not a JSON object");
    const std::optional<simdjson::dom::element> result = lastMember(response, "result");
    if (!result)
        return failRpc("the JSON-RPC response has no \"result\"" + rpcErrorDetail(response));
    std::string_view text;
    if (result->get_string().get(text))
        return failRpc("the JSON-RPC response's \"result\" is not a string");
    return Decoded<std::string>::success(std::string(text));
}

Decoded<Pixels> pixelsOfSvg(std::string_view svg) {
    Pixels pixels = parsePixels(svg);
    if (pixels.empty())
        return Decoded<Pixels>::failure(
            DecodeStage::Svg, "the SVG has no rect with a \"#\" fill besides a background");
    return Decoded<Pixels>::success(std::move(pixels));
}

Decoded<Pixels> decodeTokenHex(std::string_view hex) {
    const Decoded<std::string> tokenUri = decodeAbiStringDiagnosed(hex);
    if (!tokenUri)
        return carryFailure(tokenUri);
    const Decoded<std::string> svg = decodeDataURIToSVGDiagnosed(*tokenUri.value);
    if (!svg)
        return carryFailure(svg);
    return pixelsOfSvg(*svg.value);
}

Decoded<Pixels> decodeRpcResponse(std::string_view body) {
    const Decoded<std::string> hex = rpcResultOf(body);
    if (!hex)
        return carryFailure(hex);
    return decodeTokenHex(*hex.value);
}

} // namespace zibbles

#include "Zibbles/decode/TokenUri.h"

#include "Zibbles/decode/Base64.h"
#include "Zibbles/decode/Utf8.h"

#include <simdjson.h>

namespace zibbles {

namespace {

constexpr std::string_view kJsonPrefix = "data:application/json;base64,";
constexpr std::string_view kSvgPrefix = "data:image/svg+xml;base64,";
constexpr std::string_view kSvgTag = "<svg";

Decoded<std::string> fail(std::string message) {
    return Decoded<std::string>::failure(DecodeStage::TokenUri, std::move(message));
}

std::string base64Reason(const Base64Outcome& outcome) {
    if (outcome.status == Base64Outcome::Status::BadLength)
        return "is not strict Base64: its length " + std::to_string(outcome.badOffset) +
               " is not a multiple of four";
    return "is not strict Base64 at offset " + std::to_string(outcome.badOffset);
}

// The metadata's "image" string, or the reason there is none. simdjson keeps the first of
// duplicate keys; a dictionary built from the text keeps the last, so the last one is taken.
// The text must be followed by SIMDJSON_PADDING readable bytes.
Decoded<std::string> imageOf(const char* json, std::size_t size) {
    simdjson::dom::parser parser;
    simdjson::dom::element root;
    if (auto error = parser.parse(json, size, false).get(root))
        return fail(std::string("the token URI's metadata is not JSON (") +
                    simdjson::error_message(error) + ")");
    simdjson::dom::object object;
    if (root.get_object().get(object))
        return fail("the token URI's metadata is not a JSON object");
    std::optional<simdjson::dom::element> image;
    for (auto field : object)
        if (field.key == "image")
            image = field.value;
    if (!image)
        return fail("the token URI's metadata has no \"image\" member");
    std::string_view text;
    if (image->get_string().get(text))
        return fail("the token URI's \"image\" member is not a string");
    return Decoded<std::string>::success(std::string(text));
}

Decoded<std::string> svgOfImage(std::string image) {
    if (image.starts_with(kSvgPrefix)) {
        const std::string_view payload = std::string_view(image).substr(kSvgPrefix.size());
        std::string svg(base64MaxDecodedSize(payload.size()), '\0');
        const Base64Outcome outcome = decodeBase64Strict(payload, svg.data());
        if (outcome.status != Base64Outcome::Status::Ok)
            return fail("the image's Base64 SVG payload " + base64Reason(outcome));
        svg.resize(outcome.size);
        if (!isValidUtf8(svg))
            return fail("the image's SVG is not UTF-8 at byte " +
                        std::to_string(firstInvalidUtf8(svg).value_or(0)));
        return Decoded<std::string>::success(std::move(svg));
    }
    if (image.find(kSvgTag) != std::string::npos)
        return Decoded<std::string>::success(std::move(image));
    return fail("the token URI's \"image\" is neither a Base64 SVG data URI nor contains \"<svg\"");
}

} // namespace

Decoded<std::string> decodeDataURIToSVGDiagnosed(std::string_view tokenUri) {
    if (!tokenUri.starts_with(kJsonPrefix))
        return fail("the token URI does not begin with \"data:application/json;base64,\"");
    const std::string_view payload = tokenUri.substr(kJsonPrefix.size());
    simdjson::padded_string json(base64MaxDecodedSize(payload.size()));
    const Base64Outcome outcome = decodeBase64Strict(payload, json.data());
    if (outcome.status != Base64Outcome::Status::Ok)
        return fail("the token URI's Base64 payload " + base64Reason(outcome));
    // The buffer is padded beyond the longest decoding, so the parser may read past the end.
    Decoded<std::string> image = imageOf(json.data(), outcome.size);
    if (!image)
        return image;
    return svgOfImage(std::move(*image.value));
}

std::optional<std::string> decodeDataURIToSVG(std::string_view tokenUri) {
    return decodeDataURIToSVGDiagnosed(tokenUri).value;
}

} // namespace zibbles

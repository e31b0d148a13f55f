#include "Zibbles/decode/TokenUri.h"
#include "tests/support/TokenBuilder.h"

#include <gtest/gtest.h>

namespace zibbles {
namespace {

using testing::base64Encode;
using testing::jsonTokenUri;
using testing::metadataWithImage;
using testing::svgDataUri;

// The URL-safe variant: "-" and "_" in place of "+" and "/".
std::string urlSafe(std::string text) {
    for (char& c : text)
        c = c == '+' ? '-' : c == '/' ? '_' : c;
    return text;
}

const std::string kSvg = R"(<svg viewBox="0 0 24 24"><rect fill="#123"/></svg>)";

TEST(TokenUri, decodesValidInputs) {
    struct Case {
        const char* name;
        std::string uri;
        std::string expected;
    } cases[] = {
        {"worked example", jsonTokenUri(metadataWithImage(svgDataUri(kSvg))), kSvg},
        {"image alone", jsonTokenUri(R"({"image":")" + svgDataUri(kSvg) + R"("})"), kSvg},
        {"plain SVG image returned unchanged", jsonTokenUri(metadataWithImage("<svg/>")), "<svg/>"},
        {"utf8 SVG data URI returned whole",
         jsonTokenUri(metadataWithImage("data:image/svg+xml;utf8,<svg></svg>")),
         "data:image/svg+xml;utf8,<svg></svg>"},
        {"<svg anywhere in the image", jsonTokenUri(metadataWithImage("junk<svgx")), "junk<svgx"},
        {"SVG payload need not hold <svg", jsonTokenUri(metadataWithImage(svgDataUri("hello"))),
         "hello"},
        {"empty SVG payload", jsonTokenUri(metadataWithImage("data:image/svg+xml;base64,")), ""},
        {"escaped slashes are unescaped",
         jsonTokenUri(R"({"image":"data:image\/svg+xml;base64,)" + base64Encode(kSvg) + "\"}"),
         kSvg},
        {"escapes in a plain image", jsonTokenUri(R"({"image":"<svg a=\"1\">\u00e9<\/svg>"})"),
         "<svg a=\"1\">\xC3\xA9</svg>"},
        {"white space around the JSON",
         jsonTokenUri(" \n{ \"image\" : \"" + svgDataUri(kSvg) + "\" }\n"), kSvg},
        {"last of duplicate image members",
         jsonTokenUri(R"({"image":"<svg>first","image":"<svg>last"})"), "<svg>last"},
        {"padding of one", jsonTokenUri(metadataWithImage(svgDataUri("<svg>ab"))), "<svg>ab"},
        {"padding of two", jsonTokenUri(metadataWithImage(svgDataUri("<svg>abc"))), "<svg>abc"},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeDataURIToSVG(c.uri);
        ASSERT_TRUE(decoded.has_value()) << c.name;
        EXPECT_EQ(*decoded, c.expected) << c.name;
    }
}

TEST(TokenUri, decodesNothing_invalid) {
    const std::string good = jsonTokenUri(metadataWithImage(svgDataUri(kSvg)));
    const std::string payload = good.substr(29);
    auto withPayload = [](std::string p) { return "data:application/json;base64," + p; };
    struct Case {
        const char* name;
        std::string uri;
    } cases[] = {
        {"empty", ""},
        {"utf8 JSON data URI", "data:application/json;utf8," + metadataWithImage(kSvg)},
        {"plain JSON", metadataWithImage(kSvg)},
        {"other media type", "data:text/plain;base64," + payload},
        {"upper-case prefix", "DATA:application/json;base64," + payload},
        {"line break in Base64", withPayload(payload.substr(0, 8) + "\n" + payload.substr(8))},
        {"space in Base64", withPayload(payload.substr(0, 8) + " " + payload.substr(8, 3))},
        {"missing padding", withPayload(base64Encode(R"({"image":"<svg>"})").substr(0, 22))},
        {"URL-safe alphabet", withPayload(urlSafe(base64Encode(R"({"image":"<svg>???"})")))},
        {"padding in the middle", withPayload("e30=" + base64Encode(R"({"image":"<svg"})"))},
        {"empty payload", withPayload("")},
        {"not JSON", jsonTokenUri("image: <svg>")},
        {"top level array", jsonTokenUri(R"([{"image":"<svg/>"}])")},
        {"top level string", jsonTokenUri(R"("<svg/>")")},
        {"empty object", jsonTokenUri("{}")},
        {"trailing garbage", jsonTokenUri(R"({"image":"<svg/>"} x)")},
        {"no image member", jsonTokenUri(R"({"name":"<svg/>"})")},
        {"upper-case member", jsonTokenUri(R"({"Image":"<svg/>"})")},
        {"image a number", jsonTokenUri(R"({"image":42})")},
        {"image null", jsonTokenUri(R"({"image":null})")},
        {"image an object", jsonTokenUri(R"({"image":{"svg":"<svg/>"}})")},
        {"percent-encoded SVG", jsonTokenUri(metadataWithImage("data:image/svg+xml,%3Csvg%3E"))},
        {"charset before base64",
         jsonTokenUri(
             metadataWithImage("data:image/svg+xml;charset=utf-8;base64," + base64Encode(kSvg)))},
        {"SVG payload not Base64",
         jsonTokenUri(metadataWithImage("data:image/svg+xml;base64,<svg>"))},
        {"SVG payload not UTF-8", jsonTokenUri(metadataWithImage(svgDataUri("<svg>\xFF")))},
        {"upper-case SVG tag", jsonTokenUri(metadataWithImage("<SVG></SVG>"))},
        {"JSON not UTF-8", jsonTokenUri("{\"image\":\"<svg>\xFF\"}")},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(decodeDataURIToSVG(c.uri).has_value()) << c.name;
}

TEST(TokenUri, diagnosisPointsAtTheFirstBadCharacter) {
    const std::string payload = base64Encode(metadataWithImage(svgDataUri(kSvg)));
    struct Case {
        std::string uri;
        std::string message;
    } cases[] = {
        {"data:application/json;base64," + payload.substr(0, 17) + "\n" + payload.substr(17, 2),
         "the token URI's Base64 payload is not strict Base64 at offset 17"},
        {"data:application/json;base64,abc",
         "the token URI's Base64 payload is not strict Base64: its length 3 is not a multiple "
         "of four"},
        {"data:text/plain,x",
         "the token URI does not begin with \"data:application/json;base64,\""},
        {jsonTokenUri("[]"), "the token URI's metadata is not a JSON object"},
        {jsonTokenUri(R"({"image":1})"), "the token URI's \"image\" member is not a string"},
        {jsonTokenUri(R"({"image":"data:image/svg+xml;base64,PHN2Zz4*"})"),
         "the image's Base64 SVG payload is not strict Base64 at offset 7"},
        {jsonTokenUri(metadataWithImage(svgDataUri("<svg>\xC0"))),
         "the image's SVG is not UTF-8 at byte 5"},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeDataURIToSVGDiagnosed(c.uri);
        ASSERT_FALSE(decoded) << c.message;
        EXPECT_EQ(decoded.error.stage, DecodeStage::TokenUri);
        EXPECT_EQ(decoded.error.message, c.message);
    }
}

} // namespace
} // namespace zibbles

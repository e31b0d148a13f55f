#include "Zibbles/decode/TokenChain.h"
#include "Zibbles/ContentBounds.h"
#include "Zibbles/decode/AbiString.h"
#include "Zibbles/decode/SvgRects.h"
#include "Zibbles/decode/TokenUri.h"
#include "tests/support/TokenBuilder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace zibbles {
namespace {

using testing::abiEncodeString;
using testing::rpcBodyOf;
using testing::tokenUriOfSvg;

std::string readFile(const std::string& name) {
    std::ifstream in(std::string(ZIBBLES_TEST_DATA) + "/decode/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "x y w h rr gg bb aa" per line, written by make-golden.py independently of this code.
std::vector<Pixel> expectedGoldenPixels() {
    std::vector<Pixel> pixels;
    std::istringstream lines(readFile("golden-24x24.pixels"));
    double x, y, w, h;
    std::string r, g, b, a;
    while (lines >> x >> y >> w >> h >> r >> g >> b >> a) {
        auto byte = [](const std::string& hex) { return std::stoi(hex, nullptr, 16) / 255.0; };
        pixels.push_back(Pixel{x, y, w, h, Color{byte(r), byte(g), byte(b), byte(a)}});
    }
    return pixels;
}

TEST(TokenChain, goldenEthCallResult) {
    const std::vector<Pixel> expected = expectedGoldenPixels();
    ASSERT_EQ(expected.size(), 68u);
    std::string hex = readFile("golden-24x24.hex");
    hex.erase(hex.find_last_not_of('\n') + 1);

    const auto fromHex = decodeTokenHex(hex);
    ASSERT_TRUE(fromHex) << fromHex.error.message;
    EXPECT_EQ(*fromHex.value, expected);
    EXPECT_EQ(contentBounds(*fromHex.value), (Rect{30, 10, 180, 220}));

    const auto fromBody = decodeRpcResponse(readFile("golden-24x24.rpc.json"));
    ASSERT_TRUE(fromBody) << fromBody.error.message;
    EXPECT_EQ(*fromBody.value, expected);
}

TEST(TokenChain, failuresNameTheirStage) {
    const std::string goodHex = abiEncodeString(tokenUriOfSvg("<svg><rect fill='#000'/></svg>"));
    // Appended, not "[" + text: GCC 12 warns falsely (-Wrestrict) on that operator at -O2.
    const std::string inArray = std::string("[").append(rpcBodyOf(goodHex)).append("]");
    struct Case {
        const char* name;
        std::string body;
        DecodeStage stage;
        std::string message;
    } cases[] = {
        {"not JSON", "<html>502</html>", DecodeStage::RpcResponse, ""},
        {"top level an array", inArray, DecodeStage::RpcResponse,
         "the JSON-RPC response is not a JSON object"},
        {"node error",
         R"({"jsonrpc":"2.0","id":1,"error":{"code":3,"message":"execution reverted"}})",
         DecodeStage::RpcResponse,
         "the JSON-RPC response has no \"result\" (error 3: execution reverted)"},
        {"result not a string", R"({"result":12})", DecodeStage::RpcResponse,
         "the JSON-RPC response's \"result\" is not a string"},
        {"result empty", R"({"result":"0x"})", DecodeStage::AbiString, ""},
        {"result not a data URI", rpcBodyOf(abiEncodeString("ipfs://Qm")), DecodeStage::TokenUri,
         ""},
        {"SVG without a pixel",
         rpcBodyOf(abiEncodeString(tokenUriOfSvg("<svg><rect width='99' height='99' "
                                                 "fill='#000'/></svg>"))),
         DecodeStage::Svg, "the SVG has no rect with a \"#\" fill besides a background"},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeRpcResponse(c.body);
        ASSERT_FALSE(decoded) << c.name;
        EXPECT_EQ(decoded.error.stage, c.stage) << c.name;
        if (!c.message.empty()) {
            EXPECT_EQ(decoded.error.message, c.message) << c.name;
        }
    }
    const auto good = decodeRpcResponse(rpcBodyOf(goodHex));
    ASSERT_TRUE(good) << good.error.message;
    EXPECT_EQ(good.value->size(), 1u);
}

// Fetch completions decode on the session's thread, several at once; the expressions are built
// on first use by whichever thread gets there first. Run under TSan to see a race.
TEST(TokenChain, decodesOnSeveralThreadsAtOnce) {
    const std::string body = readFile("golden-24x24.rpc.json");
    const std::vector<Pixel> expected = expectedGoldenPixels();
    std::vector<int> matches(4, 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < matches.size(); ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                const auto decoded = decodeRpcResponse(body);
                const auto svg = decodeDataURIToSVG(*decodeAbiString(*rpcResultOf(body).value));
                matches[t] +=
                    decoded && *decoded.value == expected && parsePixelsWithRegex(*svg) == expected;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(matches, std::vector<int>(4, 10));
}

} // namespace
} // namespace zibbles

#include "Zibbles/decode/AbiString.h"
#include "tests/support/TokenBuilder.h"

#include <gtest/gtest.h>

namespace zibbles {
namespace {

using testing::abiWord;
using testing::hexOf;

std::string withPrefix(const std::string& data) {
    return "0x" + hexOf(data);
}

// Head word, length word and text, padded to a whole word.
std::string layout(std::uint64_t offset, std::uint64_t length, std::string text) {
    std::string data = abiWord(offset) + abiWord(length) + text;
    data.append((32 - data.size() % 32) % 32, '\0');
    return data;
}

TEST(AbiString, decodesValidInputs) {
    const std::string abc = layout(32, 3, "abc");
    std::string dirtyHead = abc;
    dirtyHead.replace(0, 24, std::string(24, '\xEE'));
    std::string dirtyLength = abc;
    dirtyLength.replace(32, 24, std::string(24, '\x77'));
    const std::string exact = abiWord(32) + abiWord(32) + std::string(32, 'q');
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
    } cases[] = {
        {"worked example", withPrefix(abc), "abc"},
        {"without prefix", hexOf(abc), "abc"},
        {"upper-case digits",
         "0x" +
             [&] {
                 std::string h = hexOf(abc);
                 for (char& c : h)
                     c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                 return h;
             }(),
         "abc"},
        {"high bytes of the head word ignored", withPrefix(dirtyHead), "abc"},
        {"high bytes of the length word ignored", withPrefix(dirtyLength), "abc"},
        {"zero length", withPrefix(layout(32, 0, "")), ""},
        {"offset 0 reads the head word as the length", withPrefix(layout(0, 5, "hello")), ""},
        {"length reaching exactly the last byte", withPrefix(exact), std::string(32, 'q')},
        {"bytes after the text ignored", withPrefix(abc + std::string(64, '\xFF')), "abc"},
        {"offset 64 skips a word",
         withPrefix(abiWord(64) + abiWord(0) + layout(2, 0, "") + std::string(30, '\0')),
         std::string("\0\0", 2)},
        {"multi-byte UTF-8", withPrefix(layout(32, 5, "\xC3\xA9t\xC3\xA9")), "\xC3\xA9t\xC3\xA9"},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeAbiString(c.input);
        ASSERT_TRUE(decoded.has_value()) << c.name;
        EXPECT_EQ(*decoded, c.expected) << c.name;
    }
}

// The pair parser of the radix-16 byte reader accepts a sign inside the pair.
TEST(AbiString, signedPairs) {
    const std::string hex = hexOf(layout(32, 3, "abc"));
    auto withPairAt = [&](std::size_t byte, std::string pair) {
        std::string h = hex;
        h.replace(2 * byte, 2, pair);
        return h;
    };
    // Byte 70 is the second text byte: "+7" makes it 7, "-0" makes it 0.
    EXPECT_EQ(decodeAbiString(withPairAt(65, "+7")), std::string("a\x07"
                                                                 "c"));
    EXPECT_EQ(decodeAbiString(withPairAt(65, "-0")), std::string("a\0c", 3));
    EXPECT_EQ(decodeAbiString(withPairAt(65, "+f")), std::string("a\x0f"
                                                                 "c"));
    EXPECT_EQ(decodeAbiString(withPairAt(65, "4A")), decodeAbiString(withPairAt(65, "4a")));
    EXPECT_EQ(decodeAbiString(withPairAt(31, "+0")), std::string(""));
}

TEST(AbiString, decodesNothing_invalid) {
    const std::string abc = hexOf(layout(32, 3, "abc"));
    const std::string exact = abiWord(32) + abiWord(33) + std::string(32, 'q');
    struct Case {
        const char* name;
        std::string input;
    } cases[] = {
        {"empty", ""},
        {"prefix alone", "0x"},
        {"upper-case X is no prefix", "0X" + abc},
        {"prefix twice", "0x0x" + abc},
        {"odd count", "0x" + abc.substr(0, 127)},
        {"odd count of valid pairs", abc + "a"},
        {"minus before a non-zero digit", abc.substr(0, 130) + "-7" + abc.substr(132)},
        {"two signs", abc.substr(0, 130) + "+-" + abc.substr(132)},
        {"digit then sign", abc.substr(0, 130) + "7+" + abc.substr(132)},
        {"space", abc.substr(0, 130) + " 7" + abc.substr(132)},
        {"not a digit", abc.substr(0, 130) + "g0" + abc.substr(132)},
        {"63 bytes", hexOf(std::string(63, '\0'))},
        {"offset past the end", hexOf(layout(33, 0, ""))},
        {"offset 2^63", hexOf(layout(std::uint64_t{1} << 63, 0, ""))},
        {"offset near 2^64", hexOf(layout(~std::uint64_t{0} - 16, 0, ""))},
        {"length one past the end", "0x" + hexOf(exact)},
        {"length 2^63", hexOf(layout(32, std::uint64_t{1} << 63, "abc"))},
        {"length 2^64 - 1", hexOf(layout(32, ~std::uint64_t{0}, "abc"))},
        {"lone FF byte", hexOf(layout(32, 1, "\xFF"))},
        {"overlong slash", hexOf(layout(32, 2, "\xC0\xAF"))},
        {"surrogate", hexOf(layout(32, 3, "\xED\xA0\x80"))},
        {"truncated sequence", hexOf(layout(32, 2, "a\xE2"))},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(decodeAbiString(c.input).has_value()) << c.name;
}

TEST(AbiString, diagnosisNamesTheReason) {
    const std::string abc = hexOf(layout(32, 3, "abc"));
    struct Case {
        std::string input;
        std::string message;
    } cases[] = {
        {"0x" + abc.substr(1), "the ABI result has an odd number of hexadecimal digits (191)"},
        {"0x" + abc.substr(0, 20) + "zz" + abc.substr(22),
         "the ABI result has a pair that is not a hexadecimal byte at offset 22"},
        {"0x00", "the ABI result is 1 bytes long, shorter than the 64 of a string's head and "
                 "length words"},
        {hexOf(layout(40, 0, "")),
         "the ABI result's string offset 40 points past the end of its 64 bytes"},
        {hexOf(layout(32, 1, "\xFF")), "the ABI result's string is not UTF-8 at byte 0 of the "
                                       "string"},
    };
    for (const auto& c : cases) {
        const auto decoded = decodeAbiStringDiagnosed(c.input);
        ASSERT_FALSE(decoded);
        EXPECT_EQ(decoded.error.stage, DecodeStage::AbiString);
        EXPECT_EQ(decoded.error.message, c.message);
    }
}

} // namespace
} // namespace zibbles

#include "Zibbles/decode/AbiString.h"

#include "Zibbles/decode/Utf8.h"

#include <array>
#include <cstdint>
#include <string>

namespace zibbles {

namespace {

constexpr std::size_t kWord = 32;
constexpr std::int16_t kNotDigit = -1;

constexpr std::array<std::int16_t, 256> makeDigitTable() {
    std::array<std::int16_t, 256> table{};
    table.fill(kNotDigit);
    for (int c = '0'; c <= '9'; ++c)
        table[c] = static_cast<std::int16_t>(c - '0');
    for (int c = 'a'; c <= 'f'; ++c)
        table[c] = static_cast<std::int16_t>(c - 'a' + 10);
    for (int c = 'A'; c <= 'F'; ++c)
        table[c] = static_cast<std::int16_t>(c - 'A' + 10);
    return table;
}

constexpr auto kDigit = makeDigitTable();

// One pair as an unsigned 8-bit radix-16 integer parser reads it: two digits, or a sign inside
// the pair ("+7" is 7, "-0" is 0; a negative value does not fit). Returns -1 when it is no byte.
constexpr int pairValue(unsigned char first, unsigned char second) {
    const int high = kDigit[first], low = kDigit[second];
    if (high >= 0 && low >= 0)
        return high * 16 + low;
    if (first == '+' && low >= 0)
        return low;
    if (first == '-' && second == '0')
        return 0;
    return -1;
}

// Every pair of characters read at once: one load a byte instead of two and a test. 128 KiB.
constexpr std::array<std::int16_t, 65536> makePairTable() {
    std::array<std::int16_t, 65536> table{};
    for (int i = 0; i < 65536; ++i)
        table[i] = static_cast<std::int16_t>(
            pairValue(static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i & 255)));
    return table;
}

// Not constexpr: 65536 steps pass clang's limit on constant evaluation. Being const, it is still
// filled before main, once, and never changes.
const auto kPair = makePairTable();

std::uint64_t readBigEndian64(const std::string& bytes, std::size_t at) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < 8; ++i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

Decoded<std::string> fail(std::string message) {
    return Decoded<std::string>::failure(DecodeStage::AbiString, std::move(message));
}

// Fills bytes from the digits; on a bad pair returns its offset within digits.
std::optional<std::size_t> hexToBytes(std::string_view digits, std::string& bytes) {
    bytes.resize(digits.size() / 2);
    const auto* s = reinterpret_cast<const unsigned char*>(digits.data());
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int value = kPair[(s[2 * i] << 8) | s[2 * i + 1]];
        if (value < 0)
            return 2 * i;
        bytes[i] = static_cast<char>(value);
    }
    return std::nullopt;
}

} // namespace

Decoded<std::string> decodeAbiStringDiagnosed(std::string_view hex) {
    const std::size_t prefix = hex.starts_with("0x") ? 2 : 0;
    const std::string_view digits = hex.substr(prefix);
    if (digits.size() % 2 != 0)
        return fail("the ABI result has an odd number of hexadecimal digits (" +
                    std::to_string(digits.size()) + ")");
    std::string bytes;
    if (auto bad = hexToBytes(digits, bytes))
        return fail("the ABI result has a pair that is not a hexadecimal byte at offset " +
                    std::to_string(*bad + prefix));
    if (bytes.size() < 2 * kWord)
        return fail("the ABI result is " + std::to_string(bytes.size()) +
                    " bytes long, shorter than the 64 of a string's head and length words");
    const std::uint64_t offset = readBigEndian64(bytes, kWord - 8);
    if (offset > bytes.size() - kWord) // offset + 32 > size, without overflow
        return fail("the ABI result's string offset " + std::to_string(offset) +
                    " points past the end of its " + std::to_string(bytes.size()) + " bytes");
    const std::uint64_t length = readBigEndian64(bytes, offset + kWord - 8);
    const std::size_t start = offset + kWord;
    if (length > bytes.size() - start)
        return fail("the ABI result's string length " + std::to_string(length) +
                    " reaches past the end of its " + std::to_string(bytes.size()) + " bytes");
    const std::string_view text = std::string_view(bytes).substr(start, length);
    if (!isValidUtf8(text))
        return fail("the ABI result's string is not UTF-8 at byte " +
                    std::to_string(firstInvalidUtf8(text).value_or(0)) + " of the string");
    bytes.erase(start + length);
    bytes.erase(0, start);
    return Decoded<std::string>::success(std::move(bytes));
}

std::optional<std::string> decodeAbiString(std::string_view hex) {
    return decodeAbiStringDiagnosed(hex).value;
}

} // namespace zibbles

#include "Zibbles/decode/Base64.h"

#include <array>
#include <cstdint>

namespace zibbles {

namespace {

constexpr std::uint8_t kInvalid = 0xFF;
constexpr std::uint8_t kPad = 0xFE;

constexpr std::array<std::uint8_t, 256> makeTable() {
    std::array<std::uint8_t, 256> table{};
    table.fill(kInvalid);
    constexpr std::string_view alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (std::size_t i = 0; i < alphabet.size(); ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
    table['='] = kPad;
    return table;
}

constexpr auto kTable = makeTable();

// Each character's six bits already in their place in a quad's 24-bit word, or a flag above them
// for anything outside the alphabet (the pad included), so a quad is four loads and one test.
constexpr std::uint32_t kNotInAlphabet = 0x80000000u;

constexpr std::array<std::uint32_t, 256> makeShiftedTable(int shift) {
    std::array<std::uint32_t, 256> table{};
    for (std::size_t c = 0; c < 256; ++c)
        table[c] = kTable[c] < 64 ? std::uint32_t{kTable[c]} << shift : kNotInAlphabet;
    return table;
}

constexpr auto kFirst = makeShiftedTable(18);
constexpr auto kSecond = makeShiftedTable(12);
constexpr auto kThird = makeShiftedTable(6);
constexpr auto kFourth = makeShiftedTable(0);

// Every quad before the last while it holds four alphabet characters; the quad that stops it and
// the last one (which may be padded) are left to the careful loop. Returns the characters done.
std::size_t plainQuads(const unsigned char* in, std::size_t size, char* out) {
    std::size_t i = 0;
    for (; i + 4 < size; i += 4, out += 3) {
        const std::uint32_t word =
            kFirst[in[i]] | kSecond[in[i + 1]] | kThird[in[i + 2]] | kFourth[in[i + 3]];
        if (word & kNotInAlphabet)
            break;
        out[0] = static_cast<char>(word >> 16);
        out[1] = static_cast<char>(word >> 8);
        out[2] = static_cast<char>(word);
    }
    return i;
}

Base64Outcome badCharacter(std::size_t offset) {
    return {Base64Outcome::Status::BadCharacter, 0, offset};
}

// The last quad may end in "=" or "=="; returns how many of its characters carry data, or 0.
std::size_t dataCharactersInLastQuad(const std::uint8_t* v) {
    if (v[3] != kPad)
        return 4;
    return v[2] == kPad ? 2 : 3;
}

std::size_t firstBadIndex(const std::uint8_t* v, std::size_t data) {
    for (std::size_t k = 0; k < 4; ++k)
        if (k < data ? v[k] >= 64 : v[k] != kPad)
            return k;
    return 4;
}

bool validPaddedQuad(const std::uint8_t* v, std::size_t data) {
    return firstBadIndex(v, data) == 4;
}

} // namespace

Base64Outcome decodeBase64Strict(std::string_view text, char* out) {
    if (text.size() % 4 != 0)
        return {Base64Outcome::Status::BadLength, 0, text.size()};
    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t plain = plainQuads(in, text.size(), out);
    std::size_t written = plain / 4 * 3;
    for (std::size_t i = plain; i < text.size(); i += 4) {
        const std::uint8_t v[4] = {kTable[in[i]], kTable[in[i + 1]], kTable[in[i + 2]],
                                   kTable[in[i + 3]]};
        const bool last = i + 4 == text.size();
        const std::size_t data = last ? dataCharactersInLastQuad(v) : 4;
        // Fast path: four alphabet characters. Otherwise find the first one out of place.
        if (((v[0] | v[1] | v[2] | v[3]) >= 64) && (data == 4 || !validPaddedQuad(v, data)))
            return badCharacter(i + firstBadIndex(v, data));
        const std::uint32_t word = (std::uint32_t{v[0]} << 18) | (std::uint32_t{v[1]} << 12) |
                                   (std::uint32_t{v[2] & 63u} << 6) | std::uint32_t{v[3] & 63u};
        out[written++] = static_cast<char>(word >> 16);
        if (data > 2)
            out[written++] = static_cast<char>(word >> 8);
        if (data > 3)
            out[written++] = static_cast<char>(word);
    }
    return {Base64Outcome::Status::Ok, written, 0};
}

} // namespace zibbles

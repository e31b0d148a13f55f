#pragma once

// Builds tokens the way a contract encodes them, for tests, fuzz seeds and benchmarks.

#include <cstdint>
#include <string>
#include <string_view>

namespace zibbles::testing {

inline std::string base64Encode(std::string_view bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t word = 0;
        for (std::size_t k = 0; k < 3; ++k)
            word = (word << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (std::size_t k = 0; k < 4; ++k)
            out += k <= n ? kAlphabet[(word >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

inline std::string hexOf(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        out += kDigits[c >> 4];
        out += kDigits[c & 15];
    }
    return out;
}

// A 32-byte big-endian word holding value.
inline std::string abiWord(std::uint64_t value) {
    std::string word(32, '\0');
    for (int i = 0; i < 8; ++i)
        word[31 - i] = static_cast<char>(value >> (8 * i));
    return word;
}

// The return data of a function returning one string, as "0x" and hexadecimal digits.
inline std::string abiEncodeString(std::string_view text) {
    std::string data = abiWord(32) + abiWord(text.size()) + std::string(text);
    data.append((32 - text.size() % 32) % 32, '\0');
    return "0x" + hexOf(data);
}

inline std::string svgDataUri(std::string_view svg) {
    return "data:image/svg+xml;base64," + base64Encode(svg);
}

inline std::string jsonTokenUri(std::string_view json) {
    return "data:application/json;base64," + base64Encode(json);
}

// Metadata as a contract writes it, with the image (already a URI or SVG text) as a JSON string.
// The image must hold no quote or backslash.
inline std::string metadataWithImage(std::string_view image) {
    return R"({"name":"Zibble #7","description":"A test figure.","image":")" + std::string(image) +
           R"(","attributes":[{"trait_type":"Eyes","value":"Round"}]})";
}

inline std::string tokenUriOfSvg(std::string_view svg) {
    return jsonTokenUri(metadataWithImage(svgDataUri(svg)));
}

inline std::string rpcBodyOf(std::string_view hexResult) {
    return R"({"jsonrpc":"2.0","id":1,"result":")" + std::string(hexResult) + R"("})";
}

} // namespace zibbles::testing

#include "platform/HttpRequestRules.h"

#include <algorithm>
#include <cctype>

namespace zibbles::platform {

bool isHttpToken(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte > 0x20 && byte < 0x7f && c != ':' && c != '(' && c != ')' && c != ',' &&
               c != '"' && c != ';' && c != '/' && c != '[' && c != ']' && c != '{' && c != '}';
    });
}

bool isUnsafeInHeader(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7f;
    });
}

bool isHttpsURL(std::string_view url) {
    const std::string_view scheme = url.substr(0, 6);
    return scheme.size() == 6 &&
           std::equal(scheme.begin(), scheme.end(), "https:", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

} // namespace zibbles::platform

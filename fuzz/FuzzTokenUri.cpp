#include "Zibbles/decode/TokenUri.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Base64 and JSON decoding are linear; larger inputs only slow the search down.
    if (size > 256 * 1024)
        return -1;
    const std::string_view uri(reinterpret_cast<const char*>(data), size);
    const auto diagnosed = zibbles::decodeDataURIToSVGDiagnosed(uri);
    if (!diagnosed && diagnosed.error.message.empty())
        std::abort();
    return 0;
}

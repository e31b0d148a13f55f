#include "Zibbles/decode/AbiString.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Decoding is linear; beyond a few hundred kilobytes inputs only make each run slower.
    if (size > 256 * 1024)
        return -1;
    const std::string_view hex(reinterpret_cast<const char*>(data), size);
    const auto plain = zibbles::decodeAbiString(hex);
    const auto diagnosed = zibbles::decodeAbiStringDiagnosed(hex);
    if (plain != diagnosed.value || (!diagnosed && diagnosed.error.message.empty()))
        std::abort();
    return 0;
}

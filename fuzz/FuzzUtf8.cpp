// The fast validity check and the scalar one that explains failures must agree on any bytes.

#include "Zibbles/decode/Utf8.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Both checks are linear; larger inputs only slow the search down.
    if (size > 64 * 1024)
        return -1;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (zibbles::isValidUtf8(bytes) != !zibbles::firstInvalidUtf8(bytes).has_value())
        std::abort();
    return 0;
}

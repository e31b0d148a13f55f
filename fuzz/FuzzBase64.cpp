// Strict decoding never overruns its buffer, and gives back exactly what was encoded.

#include "Zibbles/decode/Base64.h"
#include "tests/support/TokenBuilder.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Decoding is linear; larger inputs only slow the search down.
    if (size > 64 * 1024)
        return -1;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::string out(zibbles::base64MaxDecodedSize(size), '\0');
    const auto any = zibbles::decodeBase64Strict(bytes, out.data());
    if (any.status == zibbles::Base64Outcome::Status::Ok && any.size > out.size())
        std::abort();

    const std::string encoded = zibbles::testing::base64Encode(bytes);
    std::string back(zibbles::base64MaxDecodedSize(encoded.size()), '\0');
    const auto trip = zibbles::decodeBase64Strict(encoded, back.data());
    if (trip.status != zibbles::Base64Outcome::Status::Ok || back.substr(0, trip.size) != bytes)
        std::abort();
    return 0;
}

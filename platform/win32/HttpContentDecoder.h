#pragma once

// A body that arrives compressed (Content-Encoding gzip or deflate), decoded as it arrives, so
// that the caps on a body count what it becomes, not what crossed the wire. WinHTTP decodes only
// on recent systems and not under every implementation of it, so the session asks for the two
// encodings itself and decodes them with zlib.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zibbles::platform {

struct DecodeFailure {
    bool tooLarge = false; // else the bytes are not of the encoding
    std::string words;     // for people
};

class HttpContentDecoder {
  public:
    // A decoder for the answer's Content-Encoding, or null for a body sent as it is ("identity",
    // none). An encoding it cannot decode gives a decoder that fails at once.
    static std::unique_ptr<HttpContentDecoder> forEncoding(std::string_view contentEncoding);
    virtual ~HttpContentDecoder() = default;

    // Appends what these bytes decode to, as long as out stays within limit bytes. A failure
    // when the bytes are not of the encoding, or the body would pass the limit.
    virtual std::optional<DecodeFailure> decode(std::string_view bytes, std::string& out,
                                                std::size_t limit) = 0;
    // After the last bytes: a failure when the stream stopped short.
    virtual std::optional<DecodeFailure> finish() = 0;
};

} // namespace zibbles::platform

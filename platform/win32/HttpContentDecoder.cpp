#include "platform/win32/HttpContentDecoder.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <climits>

namespace zibbles::platform {
namespace {

std::optional<DecodeFailure> corrupt(std::string words) {
    return DecodeFailure{false, std::move(words)};
}

std::string lowerTrimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    text = text.substr(first, text.find_last_not_of(" \t") - first + 1);
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

class ZlibDecoder final : public HttpContentDecoder {
  public:
    // gzip: zlib's gzip wrapper; deflate: the zlib wrapper the standard names, or, as some
    // servers send it, raw deflate, told apart by the first bytes.
    explicit ZlibDecoder(bool gzip) : gzip_(gzip) {}
    ~ZlibDecoder() override {
        if (started_)
            inflateEnd(&stream_);
    }

    std::optional<DecodeFailure> decode(std::string_view bytes, std::string& out,
                                        std::size_t limit) override {
        if (ended_)
            return bytes.empty() ? std::nullopt : corrupt("bytes after the compressed body");
        if (!started_ && !start(bytes))
            return corrupt("the compressed body could not be read");
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream_.avail_in = static_cast<uInt>(std::min<std::size_t>(bytes.size(), UINT_MAX));
        char chunk[16384];
        while (stream_.avail_in > 0 || stream_.avail_out == 0) {
            stream_.next_out = reinterpret_cast<Bytef*>(chunk);
            stream_.avail_out = sizeof chunk;
            const int result = inflate(&stream_, Z_NO_FLUSH);
            const std::size_t produced = sizeof chunk - stream_.avail_out;
            if (produced > limit - std::min(limit, out.size()))
                return DecodeFailure{true, "the body is larger than 16 MiB"};
            out.append(chunk, produced);
            if (result == Z_STREAM_END) {
                ended_ = true;
                return stream_.avail_in == 0 ? std::nullopt
                                             : corrupt("bytes after the compressed body");
            }
            if (result == Z_BUF_ERROR && stream_.avail_in == 0)
                break;
            if (result != Z_OK)
                return corrupt("the compressed body is corrupt");
        }
        return std::nullopt;
    }

    std::optional<DecodeFailure> finish() override {
        if (!ended_ && started_)
            return corrupt("the compressed body stopped short");
        return std::nullopt;
    }

  private:
    bool start(std::string_view first) {
        int windowBits = 15 + 16; // gzip
        if (!gzip_) {
            // A zlib header is two bytes whose big-endian value is a multiple of 31, with method 8.
            const bool zlibHeader = first.size() >= 2 &&
                                    (static_cast<unsigned char>(first[0]) & 0x0f) == 8 &&
                                    ((static_cast<unsigned char>(first[0]) << 8) |
                                     static_cast<unsigned char>(first[1])) %
                                            31 ==
                                        0;
            windowBits = zlibHeader ? 15 : -15;
        }
        started_ = inflateInit2(&stream_, windowBits) == Z_OK;
        return started_;
    }

    bool gzip_;
    z_stream stream_{};
    bool started_ = false;
    bool ended_ = false;
};

class RefusingDecoder final : public HttpContentDecoder {
  public:
    explicit RefusingDecoder(std::string encoding) : encoding_(std::move(encoding)) {}
    std::optional<DecodeFailure> decode(std::string_view, std::string&, std::size_t) override {
        return corrupt("the body is in an encoding that was not asked for (" + encoding_ + ")");
    }
    std::optional<DecodeFailure> finish() override { return decode({}, scratch_, 0); }

  private:
    std::string encoding_;
    std::string scratch_;
};

} // namespace

std::unique_ptr<HttpContentDecoder>
HttpContentDecoder::forEncoding(std::string_view contentEncoding) {
    const std::string encoding = lowerTrimmed(contentEncoding);
    if (encoding.empty() || encoding == "identity")
        return nullptr;
    if (encoding == "gzip" || encoding == "x-gzip")
        return std::make_unique<ZlibDecoder>(true);
    if (encoding == "deflate")
        return std::make_unique<ZlibDecoder>(false);
    return std::make_unique<RefusingDecoder>(encoding);
}

} // namespace zibbles::platform

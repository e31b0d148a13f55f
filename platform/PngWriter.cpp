#include "platform/PngWriter.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace zibbles::platform {

std::vector<std::uint8_t> unpremultipliedRgba(const Image& image) {
    std::vector<std::uint8_t> out = image.rgba();
    for (std::size_t i = 0; i + 3 < out.size(); i += 4) {
        const unsigned a = out[i + 3];
        if (a == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            out[i + c] =
                a == 0 ? 0
                       : static_cast<std::uint8_t>(std::min(255u, (out[i + c] * 255u + a / 2) / a));
    }
    return out;
}

PngResult writePng(const std::string& path, const Image& image) {
    const auto expected = static_cast<std::size_t>(image.width() * image.height() * 4);
    if (image.width() <= 0 || image.height() <= 0 || image.rgba().size() != expected)
        return {false, "the image has no pixels or its size does not match its bytes"};
    if (image.width() > 0x7fffffff / 4 || image.height() > 0x7fffffff)
        return {false, "the image is too large for a PNG"};

    const std::vector<std::uint8_t> straight = unpremultipliedRgba(image);
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width());
    png.height = static_cast<png_uint_32>(image.height());
    png.format = PNG_FORMAT_RGBA;
    const bool written =
        png_image_write_to_file(&png, path.c_str(), 0, straight.data(),
                                static_cast<png_int_32>(image.bytesPerRow()), nullptr) != 0;
    PngResult result{written, written ? std::string() : std::string(png.message)};
    png_image_free(&png);
    return result;
}

} // namespace zibbles::platform

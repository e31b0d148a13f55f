#include "platform/PngReader.h"

#include <png.h>

#include <cstring>

namespace zibbles::platform {

PngReadResult readPng(const std::string& path) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&png, path.c_str()) == 0) {
        PngReadResult failed{std::nullopt, png.message};
        png_image_free(&png);
        return failed;
    }
    png.format = PNG_FORMAT_RGBA;
    PngPixels pixels;
    pixels.width = png.width;
    pixels.height = png.height;
    pixels.rgba.resize(PNG_IMAGE_SIZE(png));
    if (png_image_finish_read(&png, nullptr, pixels.rgba.data(), 0, nullptr) == 0) {
        PngReadResult failed{std::nullopt, png.message};
        png_image_free(&png);
        return failed;
    }
    return {std::move(pixels), {}};
}

} // namespace zibbles::platform

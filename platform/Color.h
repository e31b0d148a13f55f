#pragma once

// An sRGB colour with alpha, each component a double from 0 to 1 (the colour a layer's background
// or a bitmap fill is given in). Not premultiplied.

namespace zibbles::platform {

struct Color {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;
    bool operator==(const Color&) const = default;

    static Color white(double level, double alpha) { return {level, level, level, alpha}; }
};

} // namespace zibbles::platform

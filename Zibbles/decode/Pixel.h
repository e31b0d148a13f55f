#pragma once

// The shared records of a decoded figure. Plain values, never changed after they are built, so
// they cross threads freely.

namespace zibbles {

// An sRGB colour; each component is a byte value divided by 255.0.
struct Color {
    double red = 0.0;
    double green = 0.0;
    double blue = 0.0;
    double alpha = 1.0;

    bool operator==(const Color&) const = default;
};

// One filled rectangle of a figure, in the SVG's own user units (x right, y down), as written.
struct Pixel {
    double x = 0.0;
    double y = 0.0;
    double w = 1.0;
    double h = 1.0;
    Color color;

    bool operator==(const Pixel&) const = default;
};

// An axis-aligned rectangle: origin and size, doubles.
struct Rect {
    double x = 0.0;
    double y = 0.0;
    double width = 0.0;
    double height = 0.0;

    bool operator==(const Rect&) const = default;
};

} // namespace zibbles

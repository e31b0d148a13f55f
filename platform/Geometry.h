#pragma once

// Points, sizes and rectangles in points (doubles), with the origin at the bottom-left as in a
// layer's coordinate space, and the integer rectangles that renderers work in (device pixels).

#include <cstdint>

namespace zibbles::platform {

struct Point {
    double x = 0.0;
    double y = 0.0;
    bool operator==(const Point&) const = default;
};

// Also used for velocities (points per second on each axis).
struct Size {
    double width = 0.0;
    double height = 0.0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    Point origin;
    Size size;
    bool operator==(const Rect&) const = default;
};

// A rectangle of whole device pixels; x grows right, y grows up unless a user says otherwise.
struct IntRect {
    std::int64_t x = 0;
    std::int64_t y = 0;
    std::int64_t width = 0;
    std::int64_t height = 0;
    bool operator==(const IntRect&) const = default;
    bool empty() const { return width <= 0 || height <= 0; }
};

} // namespace zibbles::platform

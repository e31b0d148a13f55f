#include "Zibbles/ZibblesBounceView.h"

// Pure leg geometry. The comparisons are written so that a value that is not a number fails
// them, which keeps every target inside the free room whatever the input.

namespace zibbles {

namespace {

constexpr double minimumLegDuration = 0.001; // seconds
constexpr double wallMargin = 0.5;           // points

// Into [0, max]: a value that is not at least 0 becomes 0, then one not below max becomes max.
double clampToRoom(double value, double max) {
    double clamped = value;
    if (!(clamped >= 0.0)) {
        clamped = 0.0;
    }
    if (!(clamped < max)) {
        clamped = max;
    }
    return clamped;
}

bool touchesWall(double coordinate, double max) {
    return coordinate <= wallMargin || coordinate >= max - wallMargin;
}

} // namespace

// Any thread.
std::optional<LegPlan> ZibblesBounceView::planLeg(double width, double height, double spriteSize,
                                                  Point p, Size v) {
    const double maxX = width - spriteSize;
    const double maxY = height - spriteSize;
    if (!(maxX > 0.0) || !(maxY > 0.0)) {
        return std::nullopt;
    }
    if (v.width == 0.0 || v.height == 0.0) {
        return std::nullopt;
    }
    const double dx = v.width > 0.0 ? maxX - p.x : 0.0 - p.x;
    const double dy = v.height > 0.0 ? maxY - p.y : 0.0 - p.y;
    // Negative when the position lies beyond the wall ahead, after the view shrank.
    const double tx = dx / v.width;
    const double ty = dy / v.height;
    double t = ty < tx ? ty : tx;
    t = t > minimumLegDuration ? t : minimumLegDuration;
    const Point raw{t * v.width + p.x, t * v.height + p.y};
    return LegPlan{{clampToRoom(raw.x, maxX), clampToRoom(raw.y, maxY)}, t};
}

// Any thread. Looks at the position only, never at the heading: an end within the margin of a
// wall turns that component whichever way it pointed.
Size ZibblesBounceView::reflectVelocity(double width, double height, double spriteSize, Point p,
                                        Size v) {
    const double maxX = width - spriteSize;
    const double maxY = height - spriteSize;
    if (touchesWall(p.x, maxX)) {
        v.width = -v.width;
    }
    if (touchesWall(p.y, maxY)) {
        v.height = -v.height;
    }
    return v;
}

} // namespace zibbles

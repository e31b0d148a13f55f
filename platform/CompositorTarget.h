#pragma once

// Where the compositor draws: a software framebuffer it paints into, and a way to show the parts
// that changed. A headless target shows nothing; a window target copies the changed rectangles
// to the screen. A target whose screen keeps its own pixels (an X window) keeps no framebuffer of
// the whole screen: it lends pixels for one part at a time instead.

#include "platform/Geometry.h"

#include <cstdint>
#include <vector>

namespace zibbles::platform {

class SoftwareFramebuffer;

// How a sprite that moved is handed over as damage.
enum class DamageShape {
    Union,  // its old and its new rectangle, overlapping ones as their union
    Strips, // its new rectangle, and the strips of the old one that it uncovered
};

// Main thread only.
class CompositorTarget {
  public:
    virtual ~CompositorTarget() = default;
    // The pixels the compositor paints; its size is the target's size in device pixels. A target
    // that lends canvases gives the last one lent.
    virtual SoftwareFramebuffer& framebuffer() = 0;
    // Device pixels per point.
    virtual double scale() const = 0;
    // Shows these rectangles of the framebuffer (device pixels, top row 0). Called only when
    // something changed, after every one of them was painted.
    virtual void present(const std::vector<IntRect>& damage) = 0;

    // The target's size in device pixels, at (0, 0). By default the framebuffer's.
    virtual IntRect deviceBounds();
    // Pixels to paint area in (device pixels, top row 0): a canvas whose area() holds the top
    // rows of area across its whole width, at least one row. By default the framebuffer, which
    // holds all of it. What is painted there shows at the next present.
    virtual SoftwareFramebuffer& canvasFor(const IntRect& area);
    virtual DamageShape damageShape() const { return DamageShape::Union; }
    // Shows the part clip of an opaque image whose top-left is at (x, y) from a copy of it that
    // the target keeps, so that an image shown again costs no painting. key names the image's
    // pixels: a new key means new pixels. Gives false when the target keeps no copies (the
    // default); the caller then paints the part through canvases. What is shown appears at the
    // next present, in order with what was painted.
    virtual bool showKept(std::uint64_t key, const SoftwareFramebuffer& image, std::int64_t x,
                          std::int64_t y, const IntRect& clip) {
        (void)key, (void)image, (void)x, (void)y, (void)clip;
        return false;
    }
};

} // namespace zibbles::platform

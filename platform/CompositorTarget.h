#pragma once

// Where the compositor draws: a software framebuffer it paints into, and a way to show the parts
// that changed. A headless target shows nothing; a window target copies the changed rectangles
// to the screen.

#include "platform/Geometry.h"

#include <vector>

namespace zibbles::platform {

class SoftwareFramebuffer;

// Main thread only.
class CompositorTarget {
  public:
    virtual ~CompositorTarget() = default;
    // The pixels the compositor paints; its size is the target's size in device pixels.
    virtual SoftwareFramebuffer& framebuffer() = 0;
    // Device pixels per point.
    virtual double scale() const = 0;
    // Shows these rectangles of the framebuffer (device pixels, top row 0). Called only when
    // something changed.
    virtual void present(const std::vector<IntRect>& damage) = 0;
};

} // namespace zibbles::platform

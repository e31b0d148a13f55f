#pragma once

// The compositor's target for a window drawn with GDI.
// Implemented features:
//  [X] A framebuffer of the window's client area in device pixels (BGRA, as a 32-bit DIB holds
//      it); present puts only the damaged rectangles, each with one SetDIBitsToDevice: one device
//      pixel for one pixel, never stretched.
//  [X] WM_PAINT shows the part asked for from the framebuffer, without painting anything again.
//  [X] A resize and a new scale (a window moved to a monitor of another DPI).
//  [ ] Kept images: every frame paints what moved (a sprite is a few thousand pixels).

#include "platform/CompositorTarget.h"
#include "platform/SoftwareFramebuffer.h"

#include <windows.h>

#include <cstdint>

namespace zibbles::platform {

// Main thread only (the thread of the window).
class CompositorTargetGdi final : public CompositorTarget {
  public:
    // width and height of the client area in device pixels.
    CompositorTargetGdi(HWND window, std::int64_t width, std::int64_t height, double scale);

    SoftwareFramebuffer& framebuffer() override { return framebuffer_; }
    double scale() const override { return framebuffer_.scale(); }
    void setScale(double scale) { framebuffer_.setScale(scale); }
    void present(const std::vector<IntRect>& damage) override;
    // Opaque black at the new size, until the next frame paints it.
    void resize(std::int64_t width, std::int64_t height) { framebuffer_.resize(width, height); }
    // Shows the part of the framebuffer that a WM_PAINT asks for.
    void paint(HDC dc, const RECT& area);

  private:
    void put(HDC dc, const IntRect& rect);

    HWND window_;
    SoftwareFramebuffer framebuffer_;
};

} // namespace zibbles::platform

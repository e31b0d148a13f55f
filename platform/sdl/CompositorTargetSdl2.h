#pragma once

// The compositor's target for an SDL2 window, drawn through the window's own surface.
// Implemented features:
//  [X] The compositor paints a software framebuffer of the window's size in pixels; present
//      converts only the damaged rectangles into the window surface and shows only those
//      (SDL_UpdateWindowSurfaceRects), so a moving sprite costs two small rectangles a frame.
//  [X] Any pixel format SDL gives the surface (SDL_ConvertPixels).
//  [X] A resize or an expose: windowChanged fetches the surface again, and the framebuffer
//      follows the window's size (the compositor then repaints everything).
//  [ ] GPU rendering: SDL_Renderer presents whole frames only; the window surface can show
//      parts, and on X11 it uses shared memory when SDL_HINT_FRAMEBUFFER_ACCELERATION is "0".

#include "platform/CompositorTarget.h"
#include "platform/SoftwareFramebuffer.h"

#include <memory>
#include <string>

struct SDL_Window;
struct SDL_Surface;

namespace zibbles::platform {

// Main thread only (the thread that made the window).
class CompositorTargetSdl2 final : public CompositorTarget {
  public:
    // Null, with the reason in error, when the window's surface cannot be had. The window must
    // outlive the target.
    static std::unique_ptr<CompositorTargetSdl2> make(SDL_Window* window, double scale,
                                                      std::string& error);

    SoftwareFramebuffer& framebuffer() override { return framebuffer_; }
    double scale() const override { return framebuffer_.scale(); }
    void setScale(double scale) { framebuffer_.setScale(scale); }
    void present(const std::vector<IntRect>& damage) override;

    // After a resize or an expose. False when the surface cannot be had any more.
    bool windowChanged();
    // Shows the whole framebuffer again, as it is.
    void presentAll();

  private:
    CompositorTargetSdl2(SDL_Window* window, double scale);

    SDL_Window* window_;
    SDL_Surface* surface_ = nullptr; // owned by the window
    SoftwareFramebuffer framebuffer_;
};

} // namespace zibbles::platform

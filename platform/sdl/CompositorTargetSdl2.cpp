#include "platform/sdl/CompositorTargetSdl2.h"

#include <SDL.h>

#include <vector>

namespace zibbles::platform {

std::unique_ptr<CompositorTargetSdl2> CompositorTargetSdl2::make(SDL_Window* window, double scale,
                                                                 std::string& error) {
    std::unique_ptr<CompositorTargetSdl2> target(new CompositorTargetSdl2(window, scale));
    if (!target->windowChanged()) {
        error = std::string("SDL_GetWindowSurface: ") + SDL_GetError();
        return nullptr;
    }
    return target;
}

CompositorTargetSdl2::CompositorTargetSdl2(SDL_Window* window, double scale)
    : window_(window), framebuffer_(0, 0, scale) {}

bool CompositorTargetSdl2::windowChanged() {
    surface_ = SDL_GetWindowSurface(window_);
    if (!surface_)
        return false;
    if (surface_->w != framebuffer_.width() || surface_->h != framebuffer_.height())
        framebuffer_.resize(surface_->w, surface_->h);
    return true;
}

void CompositorTargetSdl2::present(const std::vector<IntRect>& damage) {
    if (!surface_)
        return;
    const IntRect whole{0, 0, std::min<std::int64_t>(framebuffer_.width(), surface_->w),
                        std::min<std::int64_t>(framebuffer_.height(), surface_->h)};
    std::vector<SDL_Rect> shown;
    if (SDL_MUSTLOCK(surface_) && SDL_LockSurface(surface_) != 0)
        return;
    for (const IntRect& rect : damage) {
        const IntRect r = intersection(rect, whole);
        if (r.empty())
            continue;
        const std::uint8_t* from =
            framebuffer_.bytes() + r.y * framebuffer_.bytesPerRow() + r.x * 4;
        auto* to = static_cast<std::uint8_t*>(surface_->pixels) + r.y * surface_->pitch +
                   r.x * surface_->format->BytesPerPixel;
        SDL_ConvertPixels(static_cast<int>(r.width), static_cast<int>(r.height),
                          SDL_PIXELFORMAT_RGBA32, from,
                          static_cast<int>(framebuffer_.bytesPerRow()), surface_->format->format,
                          to, surface_->pitch);
        shown.push_back(SDL_Rect{static_cast<int>(r.x), static_cast<int>(r.y),
                                 static_cast<int>(r.width), static_cast<int>(r.height)});
    }
    if (SDL_MUSTLOCK(surface_))
        SDL_UnlockSurface(surface_);
    if (!shown.empty())
        SDL_UpdateWindowSurfaceRects(window_, shown.data(), static_cast<int>(shown.size()));
}

void CompositorTargetSdl2::presentAll() {
    present({IntRect{0, 0, framebuffer_.width(), framebuffer_.height()}});
}

} // namespace zibbles::platform

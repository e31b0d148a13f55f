#include "platform/sdl/DisplayScaleSdl2X11.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

namespace zibbles::platform {
namespace {

// Scales above this are taken for a misconfiguration and ignored.
constexpr double kMaxScale = 8.0;

double drawableScale(SDL_Window* window) {
    int points = 0, pixels = 0, ignored = 0;
    SDL_GetWindowSize(window, &points, &ignored);
    SDL_GetWindowSizeInPixels(window, &pixels, &ignored);
    return points > 0 && pixels > 0 ? static_cast<double>(pixels) / points : 1.0;
}

double xftScale(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return 1.0;
    return xftScaleOf(XResourceManagerString(info.info.x11.display));
}

} // namespace

double displayScaleOf(SDL_Window* window) {
    const double drawable = drawableScale(window);
    if (drawable > 1.0 && drawable <= kMaxScale)
        return drawable;
    return xftScale(window);
}

} // namespace zibbles::platform

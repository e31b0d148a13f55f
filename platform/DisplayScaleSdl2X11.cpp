#include "platform/DisplayScaleSdl2X11.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace zibbles::platform {
namespace {

constexpr double kBaseDpi = 96.0;
// Scales outside this range are taken for a misconfiguration and ignored.
constexpr double kMinScale = 0.5;
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
        return 0.0;
    const double dpi = xftDpiOf(XResourceManagerString(info.info.x11.display));
    return dpi / kBaseDpi;
}

} // namespace

double xftDpiOf(const char* resources) {
    if (!resources)
        return 0.0;
    for (const char* line = resources; *line;) {
        const char* end = std::strchr(line, '\n');
        const std::size_t length = end ? static_cast<std::size_t>(end - line) : std::strlen(line);
        if (length > 8 && std::strncmp(line, "Xft.dpi:", 8) == 0) {
            char* parsed = nullptr;
            const double dpi = std::strtod(line + 8, &parsed);
            return parsed != line + 8 && std::isfinite(dpi) && dpi > 0.0 ? dpi : 0.0;
        }
        line += end ? length + 1 : length;
    }
    return 0.0;
}

double displayScaleOf(SDL_Window* window) {
    const double drawable = drawableScale(window);
    if (drawable > 1.0 && drawable <= kMaxScale)
        return drawable;
    const double xft = xftScale(window);
    if (xft >= kMinScale && xft <= kMaxScale)
        return xft;
    return 1.0;
}

} // namespace zibbles::platform

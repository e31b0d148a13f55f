#pragma once

// The number of device pixels per point of the display a window is on, for its Window's
// backingScaleFactor: SDL's drawable size over its window size where the two differ (Wayland,
// high-density modes), else the X server's Xft.dpi over 96 (SDL ignores it under X11), else 1.

#include "platform/x11/XftDpi.h"

struct SDL_Window;

namespace zibbles::platform {

// Main thread only.
double displayScaleOf(SDL_Window* window);

} // namespace zibbles::platform

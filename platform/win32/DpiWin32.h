#pragma once

// The device scale of a window from its DPI: 96 dpi is one device pixel per point, 144 dpi (150 %)
// one and a half. The program declares per-monitor DPI awareness (v2) in its manifest, so each
// window gets its monitor's own DPI and is never stretched by the system.

#include <windows.h>

namespace zibbles::platform {

// Device pixels per point at this DPI; 1 for a DPI of 0 (none known).
double scaleOfDpi(unsigned dpi);
// Main thread. The DPI of the window's monitor (GetDpiForWindow where the system has it, else
// the screen's LOGPIXELSX).
unsigned dpiOfWindow(HWND window);
// Asks for per-monitor awareness v2 at run time as well, for a copy started without its manifest.
// Gives false where the system refuses (before Windows 10 1703, and under Wine).
bool becomePerMonitorDpiAware();

} // namespace zibbles::platform

#include "platform/win32/DpiWin32.h"

namespace zibbles::platform {

namespace {

// Looked up by name: the calls came with Windows 10, and a program that imported them outright
// would not start on an older system.
template <class Function> Function user32Function(const char* name) {
    const HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
               : nullptr;
}

} // namespace

double scaleOfDpi(unsigned dpi) {
    return dpi == 0 ? 1.0 : static_cast<double>(dpi) / USER_DEFAULT_SCREEN_DPI;
}

unsigned dpiOfWindow(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    if (const auto getDpiForWindow = user32Function<GetDpi>("GetDpiForWindow"))
        if (const UINT dpi = getDpiForWindow(window))
            return dpi;
    const HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<unsigned>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

bool becomePerMonitorDpiAware() {
    using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const auto set = user32Function<SetContext>("SetProcessDpiAwarenessContext");
    return set && set(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

} // namespace zibbles::platform

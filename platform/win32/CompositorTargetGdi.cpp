#include "platform/win32/CompositorTargetGdi.h"

namespace zibbles::platform {

CompositorTargetGdi::CompositorTargetGdi(HWND window, std::int64_t width, std::int64_t height,
                                         double scale)
    : window_(window), framebuffer_(width, height, scale, PixelOrder::Bgra) {}

void CompositorTargetGdi::present(const std::vector<IntRect>& damage) {
    const HDC dc = GetDC(window_);
    if (!dc)
        return;
    for (const IntRect& rect : damage)
        put(dc, rect);
    ReleaseDC(window_, dc);
    GdiFlush();
}

void CompositorTargetGdi::paint(HDC dc, const RECT& area) {
    put(dc, {area.left, area.top, area.right - area.left, area.bottom - area.top});
}

// The rectangle's rows as a top-down DIB of their own, the framebuffer's full width: its first
// line is the rectangle's top row, so the source's lines and the destination's coincide whatever
// a system makes of ySrc for top-down bitmaps.
void CompositorTargetGdi::put(HDC dc, const IntRect& rect) {
    const IntRect shown = intersection(rect, deviceBounds());
    if (shown.empty())
        return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(framebuffer_.width());
    info.bmiHeader.biHeight = -static_cast<LONG>(shown.height);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const std::uint8_t* firstRow = framebuffer_.bytes() + shown.y * framebuffer_.bytesPerRow();
    SetDIBitsToDevice(dc, static_cast<int>(shown.x), static_cast<int>(shown.y),
                      static_cast<DWORD>(shown.width), static_cast<DWORD>(shown.height),
                      static_cast<int>(shown.x), 0, 0, static_cast<UINT>(shown.height), firstRow,
                      &info, DIB_RGB_COLORS);
}

} // namespace zibbles::platform

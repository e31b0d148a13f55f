#pragma once

// The saver's windows: one full-screen popup per monitor, above every other window and without a
// cursor, or the preview, a child window filling the client area of the window it is given. The
// window procedure notes what the loop must act on (an input that ends the saver, a new DPI or
// size, the window's end) and repaints from the presenter's framebuffer.

#include "hosts/scr/ScrInputRules.h"
#include "platform/win32/CompositorTargetGdi.h"

#include <windows.h>

#include <memory>
#include <optional>
#include <string>

namespace zibbles::host {

// Main thread only.
class ScrWindow {
  public:
    // A popup over the monitor's whole area (device pixels). Null, with the reason, on failure.
    static std::unique_ptr<ScrWindow> fullScreen(const RECT& monitor, std::string& error);
    // A child filling parent's client area.
    static std::unique_ptr<ScrWindow> preview(HWND parent, std::string& error);
    ~ScrWindow();
    ScrWindow(const ScrWindow&) = delete;
    ScrWindow& operator=(const ScrWindow&) = delete;

    HWND handle() const { return window_; }
    ScrMode mode() const { return mode_; }
    // The client area's size in device pixels, and the window's DPI.
    SIZE clientSize() const;
    unsigned dpi() const;

    // The presenter that paints this window; WM_PAINT shows its framebuffer.
    void setTarget(platform::CompositorTargetGdi* target) { target_ = target; }

    // True once an input ended the saver or the window (or, for the preview, its parent) went.
    bool ended() const;
    // A new DPI since the last call (WM_DPICHANGED), if one came.
    std::optional<unsigned> takeDpiChange();
    // For the preview: keeps the child the size of its parent's client area.
    void followParent();

  private:
    ScrWindow(ScrMode mode, HWND parent) : mode_(mode), parent_(parent) {}
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
    void noteInput(const ScrInput& input);
    void notePointer(LPARAM lParam);

    ScrMode mode_;
    HWND parent_ = nullptr;
    HWND window_ = nullptr;
    platform::CompositorTargetGdi* target_ = nullptr;
    bool inputEnded_ = false;
    bool gone_ = false;
    std::optional<POINT> firstPointer_;
    std::optional<unsigned> dpiChange_;
};

} // namespace zibbles::host

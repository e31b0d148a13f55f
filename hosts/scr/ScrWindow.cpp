#include "hosts/scr/ScrWindow.h"

#include "platform/win32/DpiWin32.h"

#include <windowsx.h>

namespace zibbles::host {

namespace {

constexpr const wchar_t* kWindowClass = L"ZibblesSaverWindow";

bool registerClass(WNDPROC procedure) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    return RegisterClassExW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

std::string lastError(const char* call) {
    return std::string(call) + " failed (error " + std::to_string(GetLastError()) + ")";
}

} // namespace

std::unique_ptr<ScrWindow> ScrWindow::fullScreen(const RECT& monitor, std::string& error) {
    std::unique_ptr<ScrWindow> made(new ScrWindow(ScrMode::FullScreen, nullptr));
    if (!registerClass(&ScrWindow::procedure)) {
        error = lastError("RegisterClassExW");
        return nullptr;
    }
    // Topmost and a tool window: above everything, and no button on the taskbar.
    made->window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kWindowClass, L"Zibbles",
                                    WS_POPUP | WS_VISIBLE, monitor.left, monitor.top,
                                    monitor.right - monitor.left, monitor.bottom - monitor.top,
                                    nullptr, nullptr, GetModuleHandleW(nullptr), made.get());
    if (!made->window_) {
        error = lastError("CreateWindowExW");
        return nullptr;
    }
    SetForegroundWindow(made->window_);
    return made;
}

std::unique_ptr<ScrWindow> ScrWindow::preview(HWND parent, std::string& error) {
    std::unique_ptr<ScrWindow> made(new ScrWindow(ScrMode::Preview, parent));
    RECT area{};
    if (!IsWindow(parent) || !GetClientRect(parent, &area)) {
        error = "the window handle is not a window";
        return nullptr;
    }
    if (!registerClass(&ScrWindow::procedure)) {
        error = lastError("RegisterClassExW");
        return nullptr;
    }
    made->window_ =
        CreateWindowExW(0, kWindowClass, L"Zibbles", WS_CHILD | WS_VISIBLE, 0, 0, area.right,
                        area.bottom, parent, nullptr, GetModuleHandleW(nullptr), made.get());
    if (!made->window_) {
        error = lastError("CreateWindowExW");
        return nullptr;
    }
    return made;
}

ScrWindow::~ScrWindow() {
    if (window_ && !gone_) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
        DestroyWindow(window_);
    }
}

SIZE ScrWindow::clientSize() const {
    RECT area{};
    GetClientRect(window_, &area);
    return {area.right - area.left, area.bottom - area.top};
}

unsigned ScrWindow::dpi() const {
    return platform::dpiOfWindow(window_);
}

bool ScrWindow::ended() const {
    return inputEnded_ || gone_ || (parent_ && !IsWindow(parent_));
}

std::optional<unsigned> ScrWindow::takeDpiChange() {
    auto change = dpiChange_;
    dpiChange_.reset();
    return change;
}

void ScrWindow::followParent() {
    RECT area{};
    if (!parent_ || gone_ || !GetClientRect(parent_, &area))
        return;
    const SIZE now = clientSize();
    if (now.cx != area.right || now.cy != area.bottom)
        MoveWindow(window_, 0, 0, area.right, area.bottom, FALSE);
}

LRESULT CALLBACK ScrWindow::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<ScrWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    if (!self->window_)
        self->window_ = window;
    return self->handle(message, wParam, lParam);
}

void ScrWindow::noteInput(const ScrInput& input) {
    if (endsTheSaver(input, mode_, platform::scaleOfDpi(dpi())))
        inputEnded_ = true;
}

void ScrWindow::notePointer(LPARAM lParam) {
    const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    if (!firstPointer_) {
        firstPointer_ = at;
        return;
    }
    noteInput({ScrInputKind::PointerMoved, static_cast<double>(at.x - firstPointer_->x),
               static_cast<double>(at.y - firstPointer_->y)});
}

LRESULT ScrWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(window_, &paint);
        if (target_)
            target_->paint(dc, paint.rcPaint);
        EndPaint(window_, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1; // the framebuffer covers every pixel
    case WM_SETCURSOR:
        if (mode_ != ScrMode::FullScreen)
            break;
        SetCursor(nullptr);
        return TRUE;
    case WM_MOUSEMOVE:
        notePointer(lParam);
        return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        noteInput({ScrInputKind::Key});
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
        noteInput({ScrInputKind::Button});
        return 0;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
        noteInput({ScrInputKind::Wheel});
        return 0;
    case WM_SYSCOMMAND:
        // A saver that runs must not have the system start another one over it.
        if (mode_ == ScrMode::FullScreen && (wParam & 0xFFF0) == SC_SCREENSAVE)
            return 0;
        break;
    case WM_DPICHANGED: // a popup keeps its monitor's area: the suggested rectangle is not taken
        dpiChange_ = LOWORD(wParam);
        return 0;
    case WM_DPICHANGED_AFTERPARENT:
        dpiChange_ = dpi();
        return 0;
    case WM_CLOSE:
        inputEnded_ = true;
        return 0;
    case WM_DESTROY:
        gone_ = true;
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace zibbles::host

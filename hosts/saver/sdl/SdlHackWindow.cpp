#include "hosts/saver/sdl/SdlHackWindow.h"

#include "hosts/saver/x11/X11Errors.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <cstdint>
#include <cstdio>

namespace zibbles::host {
namespace {

std::optional<Window> rootWindow(std::string& error) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        error = "cannot open the X display";
        return std::nullopt;
    }
    const Window root = DefaultRootWindow(display);
    XCloseDisplay(display);
    return root;
}

Display* displayOf(SDL_Window* window) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return nullptr;
    return info.info.x11.display;
}

} // namespace

AttachedWindow attachHackWindow(const HackWindow& which) {
    AttachedWindow attached;
    Window xid = which.id;
    if (which.kind == HackWindowKind::Root) {
        const auto root = rootWindow(attached.error);
        if (!root)
            return attached;
        xid = *root;
    }
    SDL_Window* window =
        SDL_CreateWindowFrom(reinterpret_cast<void*>(static_cast<std::uintptr_t>(xid)));
    if (!window) {
        attached.error = std::string("SDL_CreateWindowFrom: ") + SDL_GetError();
        return attached;
    }
    Display* display = displayOf(window);
    XWindowAttributes attributes;
    if (!display || !XGetWindowAttributes(display, xid, &attributes) || xWindowLost()) {
        SDL_DestroyWindow(window);
        char hex[32];
        std::snprintf(hex, sizeof hex, "0x%lx", static_cast<unsigned long>(xid));
        attached.error = std::string("the X window ") + hex + " cannot be used";
        return attached;
    }
    const long wanted = (attributes.your_event_mask | StructureNotifyMask | ExposureMask) &
                        ~static_cast<long>(ButtonPressMask);
    XSelectInput(display, xid, wanted);
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
    attached.window = window;
    attached.size = {attributes.width, attributes.height};
    return attached;
}

bool isWindowDestroyedEvent(const SDL_Event& event, SDL_Window* window) {
    if (event.type != SDL_SYSWMEVENT || !event.syswm.msg ||
        event.syswm.msg->subsystem != SDL_SYSWM_X11)
        return false;
    const XEvent& x = event.syswm.msg->msg.x11.event;
    if (x.type != DestroyNotify)
        return false;
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    return SDL_GetWindowWMInfo(window, &info) && x.xdestroywindow.window == info.info.x11.window;
}

} // namespace zibbles::host

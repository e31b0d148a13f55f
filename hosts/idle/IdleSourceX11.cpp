#include "hosts/idle/IdleSourceX11.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <unistd.h>
#include <utility>

namespace zibbles::host {
namespace {

using Clock = std::chrono::steady_clock;

// A window that goes away between listing it and reading its property is no error here.
int ignoreXError(Display*, XErrorEvent*) {
    return 0;
}

extern "C" int onXConnectionLost(Display*) {
    // Xlib ends the process after this returns; the saver, a child, ends with its parent.
    std::cerr << "zibbles: the connection to the X server was lost\n";
    _exit(1);
}

// An X server resets itself when its last client leaves and refuses connections for a moment:
// the probe's connection is kept for the source, and a refused one is tried again briefly.
Display* keptDisplay = nullptr;

Display* openDisplay() {
    if (Display* kept = std::exchange(keptDisplay, nullptr))
        return kept;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name)
        return nullptr;
    for (int attempt = 0; attempt < 10; ++attempt) {
        if (Display* display = XOpenDisplay(nullptr))
            return display;
        usleep(100'000);
    }
    return nullptr;
}

bool hasProperty(Display* display, Window window, Atom property) {
    Atom type = None;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, window, property, 0, 0, False, AnyPropertyType,
                                          &type, &format, &items, &after, &data);
    if (data)
        XFree(data);
    return status == Success && type != None;
}

// The daemon puts _SCREENSAVER_VERSION on a window of its own, a child of the root window, which
// is how its command-line tool finds it.
bool daemonAnnounced(Display* display) {
    const Atom version = XInternAtom(display, "_SCREENSAVER_VERSION", True);
    if (version == None)
        return false;
    const auto previous = XSetErrorHandler(ignoreXError);
    bool found = false;
    for (int screen = 0; screen < ScreenCount(display) && !found; ++screen) {
        Window root = RootWindow(display, screen), parent = None;
        Window* children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(display, root, &root, &parent, &children, &count))
            continue;
        for (unsigned i = 0; i < count && !found; ++i)
            found = hasProperty(display, children[i], version);
        if (children)
            XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return found;
}

class X11IdleSource final : public IdleSource {
  public:
    X11IdleSource(Display* display, std::uint64_t idleMs)
        : display_(display), idleMs_(idleMs), info_(XScreenSaverAllocInfo()) {}
    ~X11IdleSource() override {
        XFree(info_);
        XCloseDisplay(display_);
    }

    pollfd prepareToSleep() override {
        XFlush(display_);
        return {ConnectionNumber(display_), POLLIN, 0};
    }

    int timeoutMs() override {
        if (XPending(display_) > 0)
            return 0;
        if (!lookAt_)
            return -1;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*lookAt_ - Clock::now());
        return static_cast<int>(std::max<std::int64_t>(0, left.count()));
    }

    bool dispatch(short, std::vector<IdleChange>& changes, std::string&) override {
        // Nothing is selected, but a server may still send events; read them so that they do
        // not keep the descriptor ready.
        while (XPending(display_) > 0) {
            XEvent event;
            XNextEvent(display_, &event);
        }
        if (lookAt_ && Clock::now() >= *lookAt_)
            look(changes);
        return true;
    }

    // Tells the present state even when it has not changed: the launcher asks after the saver
    // ended, when it waits for a fresh word.
    void lookAgain(std::vector<IdleChange>& changes) override { look(changes, true); }

  private:
    // Tells a change of state, or the state as it is when always.
    void look(std::vector<IdleChange>& changes, bool always = false) {
        if (!XScreenSaverQueryInfo(display_, DefaultRootWindow(display_), info_))
            return;
        const std::uint64_t idle = info_->idle;
        if (idle >= idleMs_) {
            if (!idle_ || always)
                changes.push_back(IdleChange::Idle);
            idle_ = true;
            lookAt_.reset();
            return;
        }
        if (idle_ || always)
            changes.push_back(IdleChange::Active);
        idle_ = false;
        lookAt_ = Clock::now() + std::chrono::milliseconds(idleMs_ - idle);
    }

    Display* display_;
    std::uint64_t idleMs_;
    XScreenSaverInfo* info_;
    bool idle_ = false;
    std::optional<Clock::time_point> lookAt_;
};

} // namespace

X11IdleOffers x11IdleOffered() {
    Display* display = openDisplay();
    if (!display)
        return {};
    int event = 0, error = 0;
    const X11IdleOffers offers{XScreenSaverQueryExtension(display, &event, &error) != 0,
                               daemonAnnounced(display)};
    if (keptDisplay)
        XCloseDisplay(keptDisplay);
    keptDisplay = display;
    return offers;
}

void releaseX11Probe() {
    if (Display* kept = std::exchange(keptDisplay, nullptr))
        XCloseDisplay(kept);
}

std::unique_ptr<IdleSource> openX11IdleSource(std::uint64_t idleMs, std::string& error) {
    Display* display = openDisplay();
    if (!display) {
        error = "cannot open the X display";
        return nullptr;
    }
    int event = 0, xerror = 0;
    if (!XScreenSaverQueryExtension(display, &event, &xerror)) {
        XCloseDisplay(display);
        error = "the X server has no MIT-SCREEN-SAVER extension";
        return nullptr;
    }
    XSetIOErrorHandler(onXConnectionLost);
    return std::make_unique<X11IdleSource>(display, idleMs);
}

} // namespace zibbles::host

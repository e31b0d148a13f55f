// The least a 60 Hz hack can cost on this X server: what desktop-cpu.sh measures zibbles against.
// Usage: ReferenceHack wake|copy [SIDE [STEP [HZ]]]
//   wake: wakes HZ times a second on a grid of the monotonic clock and does nothing else (no X).
//   copy: also moves a SIDE × SIDE square STEP pixels diagonally over the root window at each
//         tick, bouncing at the edges: one copy from a server-side pixmap and two fills of the
//         strips it uncovered, then a flush. No pixels cross the connection and nothing is read
//         back but the events that come. Defaults: 149, 2 and 60, the hack's sprite on a
//         1920 × 1080 screen.
// Runs until it is killed.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace {

void nextTick(timespec& tick, long nanoseconds) {
    tick.tv_nsec += nanoseconds;
    if (tick.tv_nsec >= 1'000'000'000) {
        tick.tv_nsec -= 1'000'000'000;
        ++tick.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &tick, nullptr);
}

int usage(int code) {
    std::fprintf(code ? stderr : stdout, "usage: ReferenceHack wake|copy [SIDE [STEP [HZ]]]\n");
    return code;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 5)
        return usage(2);
    const std::string mode = argv[1];
    if (mode == "--help")
        return usage(0);
    if (mode != "wake" && mode != "copy")
        return usage(2);
    const int side = argc > 2 ? std::atoi(argv[2]) : 149;
    const int step = argc > 3 ? std::atoi(argv[3]) : 2;
    const int hertz = argc > 4 ? std::atoi(argv[4]) : 60;
    if (side < 1 || side > 4096 || step < 1 || step > side || hertz < 1 || hertz > 1000)
        return usage(2);
    const long interval = 1'000'000'000L / hertz;

    timespec tick{};
    clock_gettime(CLOCK_MONOTONIC, &tick);
    if (mode == "wake")
        for (;;)
            nextTick(tick, interval);

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "ReferenceHack: cannot open the X display\n");
        return 1;
    }
    const Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    XGetWindowAttributes(display, root, &attributes);
    if (attributes.width <= side + 2 * step || attributes.height <= side + 2 * step) {
        std::fprintf(stderr, "ReferenceHack: the screen is too small for the square\n");
        return 1;
    }
    GC gc = XCreateGC(display, root, 0, nullptr);
    XSetGraphicsExposures(display, gc, False);
    const Pixmap square =
        XCreatePixmap(display, root, static_cast<unsigned>(side), static_cast<unsigned>(side),
                      static_cast<unsigned>(attributes.depth));
    XSetForeground(display, gc, 0xc08040);
    XFillRectangle(display, square, gc, 0, 0, static_cast<unsigned>(side),
                   static_cast<unsigned>(side));
    XSetForeground(display, gc, 0x262626);
    XSelectInput(display, root, StructureNotifyMask);

    int x = step, y = step, dx = step, dy = step;
    for (;;) {
        nextTick(tick, interval);
        const int oldX = x, oldY = y;
        if (x + dx < 0 || x + dx + side > attributes.width)
            dx = -dx;
        if (y + dy < 0 || y + dy + side > attributes.height)
            dy = -dy;
        x += dx;
        y += dy;
        XCopyArea(display, square, root, gc, 0, 0, static_cast<unsigned>(side),
                  static_cast<unsigned>(side), x, y);
        // The rows and the columns of the old square that the new one no longer covers.
        XFillRectangle(display, root, gc, oldX, dy > 0 ? oldY : oldY + side - step,
                       static_cast<unsigned>(side), static_cast<unsigned>(step));
        XFillRectangle(display, root, gc, dx > 0 ? oldX : oldX + side - step, oldY,
                       static_cast<unsigned>(step), static_cast<unsigned>(side));
        XFlush(display);
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
        }
    }
}

#include "hosts/saver/x11/X11Errors.h"

#include "hosts/common/ExitCodes.h"

#include <X11/Xlib.h>

#include <atomic>
#include <unistd.h>

namespace zibbles::host {
namespace {

// Xlib's handlers take no context, so the one thing they report is process-wide.
std::atomic<bool> windowLost{false};

extern "C" int onXError(Display*, XErrorEvent* error) {
    // No X request in here: the handler runs inside Xlib with the connection locked.
    if (error->error_code == BadWindow || error->error_code == BadDrawable)
        windowLost.store(true);
    return 0;
}

extern "C" int onXIOError(Display*) {
    // The X server is gone; nothing is left to draw on or to stop cleanly. Xlib may hold its
    // locks here, so the line goes out with one write and the process ends without unwinding.
    static constexpr char line[] = "zibbles: the connection to the X server was lost\n";
    [[maybe_unused]] const auto written = write(STDERR_FILENO, line, sizeof line - 1);
    _exit(kExitFailed);
}

} // namespace

void installXErrorHandlers() {
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
}

bool xWindowLost() {
    return windowLost.load();
}

} // namespace zibbles::host

#pragma once

// The idle source of X11 sessions without a screen-saver daemon: the X server's MIT-SCREEN-SAVER
// extension, whose XScreenSaverQueryInfo tells how long the server has seen no input. The server
// sends no event when a count of our own is reached (its own saver's timeout is the desktop's
// blanking, which the launcher leaves alone), so the source sleeps until the one moment the
// count can first reach the seconds asked, and asks again then: while the user is active that
// is one wake-up per spell of the seconds asked, and none while the session stays idle.

#include "hosts/idle/IdleSource.h"

#include <cstdint>

namespace zibbles::host {

struct X11IdleOffers {
    bool screenSaverExtension = false;
    bool xscreensaverDaemon = false; // a daemon has announced itself on the display
};

// What the X display of DISPLAY offers (all false without one). Its connection is kept for
// openX11IdleSource until that or releaseX11Probe.
X11IdleOffers x11IdleOffered();
void releaseX11Probe();

std::unique_ptr<IdleSource> openX11IdleSource(std::uint64_t idleMs, std::string& error);

} // namespace zibbles::host

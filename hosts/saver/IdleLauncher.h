#pragma once

// zibbles --idle SECONDS: the resident launcher. It finds the first idle source the session
// offers, sleeps on it, shows the saver (a child, SaverChild.h) once the session has been idle
// for the seconds asked, and waits again once input has ended it. It never inhibits idleness,
// so the desktop's own blanking and locking still happen.

#include "hosts/common/StatusReporter.h"

#include <string>
#include <vector>

namespace zibbles::host {

struct IdleLauncherChoices {
    double idleSeconds = 300;
    std::string argv0;                  // the launcher's own, for the saver's
    std::vector<std::string> arguments; // the launcher's, from which the saver's are made
    StatusSink statusLines;             // empty: --quiet
};

// Runs until SIGTERM, SIGINT or SIGHUP (then ends the saver too, and gives kExitOk), or until
// the idle source is lost. kExitFailed, after one line on stderr, when there is no source or an
// XScreenSaver daemon already runs on the display.
int runIdleLauncher(const IdleLauncherChoices& choices);

} // namespace zibbles::host

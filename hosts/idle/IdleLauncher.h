#pragma once

// zibbles --idle SECONDS: the resident launcher, a small program of its own (zibbles-idle) that
// zibbles becomes (IdleLauncherStart.h). It finds the first idle source the session offers,
// sleeps on it, shows the saver (a child, SaverChild.h) once the session has been idle for the
// seconds asked, and waits again once input has ended it. It never inhibits idleness, so the
// desktop's own blanking and locking still happen.

#include "hosts/common/StatusReporter.h"

#include <string>
#include <vector>

namespace zibbles::host {

struct IdleLauncherChoices {
    double idleSeconds = 300;
    std::string saverPath;                   // zibbles itself
    std::vector<std::string> saverArguments; // with --fullscreen
    StatusSink statusLines;                  // empty: --quiet
};

// Runs until SIGTERM, SIGINT or SIGHUP (then ends the saver too, and gives kExitOk), or until
// the idle source is lost. kExitFailed, after one line on stderr, when there is no source or an
// XScreenSaver daemon already runs on the display.
int runIdleLauncher(const IdleLauncherChoices& choices);

} // namespace zibbles::host

#pragma once

// The saver itself, full screen (/s) or as the preview (/p HWND): its windows, its environment,
// its views and the loop, until an input ends it or its window goes. The program's main calls it;
// so does a test that gives the preview a parent window of its own process.

#include "hosts/scr/ScrArguments.h"

namespace zibbles::host {

// Main thread. The exit status: 0 when it ran until its end, kExitUsage for a preview handle that
// is not a window, kExitFailed when it could not run.
int runScr(const ScrCommand& command);

} // namespace zibbles::host

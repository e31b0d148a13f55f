#pragma once

// GNOME's idle monitor on the session bus, through sd-bus: an idle watch of the seconds asked
// (mutter fires it each time idleness reaches them) and, once it has fired, a user-active watch
// for the first input after it. Both come as the WatchFired signal.

#include "hosts/idle/IdleSource.h"

#include <cstdint>

namespace zibbles::host {

// Whether the session bus has org.gnome.Mutter.IdleMonitor. False without a session bus.
bool mutterIdleMonitorOffered();

// Nothing, with error set, when the bus or the monitor cannot be had.
std::unique_ptr<IdleSource> openMutterIdleSource(std::uint64_t idleMs, std::string& error);

} // namespace zibbles::host

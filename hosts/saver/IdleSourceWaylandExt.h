#pragma once

// The idle source of Wayland compositors with ext_idle_notifier_v1: one idle notification of the
// seconds asked on the seat; "idled" and "resumed" repeat for as long as it lives.

#include "hosts/saver/IdleSource.h"

#include <cstdint>

namespace zibbles::host {

std::unique_ptr<IdleSource> openWaylandExtIdleSource(std::uint64_t idleMs, std::string& error);

} // namespace zibbles::host

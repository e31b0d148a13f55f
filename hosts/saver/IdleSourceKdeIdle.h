#pragma once

// The idle source of Wayland compositors with only org_kde_kwin_idle (sway 1.7, older KDE): one
// idle timeout of the seconds asked on the seat; "idle" and "resumed" repeat for as long as it
// lives.

#include "hosts/saver/IdleSource.h"

#include <cstdint>

namespace zibbles::host {

std::unique_ptr<IdleSource> openKdeIdleSource(std::uint64_t idleMs, std::string& error);

} // namespace zibbles::host

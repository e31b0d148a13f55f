#pragma once

// Which Wayland input ends the saver: the same rules as the SDL loop's, plus the pointer's
// slack, since a full-screen saver must not end on a jitter of the mouse.

#include "hosts/common/PresentLoop.h"
#include "platform/wayland/WaylandInput.h"

namespace zibbles::host {

// A pointer that moves at most this far from where it entered a full-screen view is taken for
// a jitter, not for a user.
constexpr double kPointerSlackPoints = 4.0;

// The evdev code of Escape (linux/input-event-codes.h, KEY_ESC).
constexpr std::uint32_t kEvdevEscape = 1;

bool isQuitInput(const platform::WaylandInputEvent& event, QuitOn quitOn);

} // namespace zibbles::host

#pragma once

// The saver through SDL inside a window that an X screen-saver daemon made for it (where the X
// server cannot share memory with the hack).
// Implemented features:
//  [X] The hack's own Xlib error handlers around SDL_Init (X11Errors.h).
//  [X] An SDL window over the daemon's window (or the root window), with StructureNotify and
//      Exposure selected on it, so that resizes, exposes and the window's end reach the loop.
//      ButtonPress is never selected: only one client may, and the daemon has.
//  [X] The window's size as the X server gives it, not as SDL's display list guesses it.
//  [ ] Several monitors of one X screen: the daemon gives one window and one process to each.

#include "hosts/common/HostOptions.h"
#include "hosts/saver/HackOptions.h"
#include "hosts/saver/x11/X11Errors.h"

#include <optional>
#include <string>

struct SDL_Window;
union SDL_Event;

namespace zibbles::host {

struct AttachedWindow {
    SDL_Window* window = nullptr; // destroy with SDL_DestroyWindow; the X window stays
    PixelSize size;               // device pixels, from the X server
    std::string error;            // for people, when window is null
};

// Main thread only. SDL's video must be up with the x11 driver.
AttachedWindow attachHackWindow(const HackWindow& which);

// The X event that says the window was destroyed (needs SDL_SYSWMEVENT enabled).
bool isWindowDestroyedEvent(const SDL_Event& event, SDL_Window* window);

} // namespace zibbles::host

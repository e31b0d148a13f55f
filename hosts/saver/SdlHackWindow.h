#pragma once

// The desktop host inside a window that an X screen-saver daemon made for it.
// Implemented features:
//  [X] Xlib error handlers of the host's own, installed around SDL_Init: an error on a
//      window that is gone (BadWindow, BadDrawable) only notes the loss and makes no X request
//      (SDL's handler does, and deadlocks when the daemon destroys the window mid-frame); any
//      other error is ignored; a lost connection ends the process at once.
//  [X] An SDL window over the daemon's window (or the root window), with StructureNotify and
//      Exposure selected on it, so that resizes, exposes and the window's end reach the loop.
//      ButtonPress is never selected: only one client may, and the daemon has.
//  [X] The window's size as the X server gives it, not as SDL's display list guesses it.
//  [ ] Several monitors of one X screen: the daemon gives one window and one process to each.

#include "hosts/common/HostOptions.h"
#include "hosts/saver/HackOptions.h"

#include <optional>
#include <string>

struct SDL_Window;
union SDL_Event;

namespace zibbles::host {

// Main thread only: before SDL_Init, so that SDL puts them back when it closes the display (a
// request on a window already gone is answered then), and again right after, over SDL's own.
void installXErrorHandlers();

// True once an X request found the window gone. Any thread.
bool xWindowLost();

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

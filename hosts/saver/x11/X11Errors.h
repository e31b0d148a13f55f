#pragma once

// The hack's own Xlib error handlers, for both of its paths (Xlib alone, and SDL over the
// daemon's window).
// Implemented features:
//  [X] An error on a window that is gone (BadWindow, BadDrawable) only notes the loss and makes
//      no X request (SDL's handler does, and deadlocks when the daemon destroys the window
//      mid-frame); any other error is ignored.
//  [X] A lost connection (the X server gone) says so in one line and ends the process at once.

namespace zibbles::host {

// Main thread only. On the SDL path: before SDL_Init, so that SDL puts them back when it closes
// the display (a request on a window already gone is answered then), and again right after, over
// SDL's own.
void installXErrorHandlers();

// True once an X request found the window gone. Any thread.
bool xWindowLost();

} // namespace zibbles::host

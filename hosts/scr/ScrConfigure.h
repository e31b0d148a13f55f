#pragma once

// The saver's dialog (/c): it has no settings, so the dialog says what it is: the version, the
// endpoint and the contract it asks.

#include <windows.h>

namespace zibbles::host {

// Main thread. Shows the dialog, owned by owner (may be null), until it is closed.
void showAboutDialog(HWND owner);

} // namespace zibbles::host

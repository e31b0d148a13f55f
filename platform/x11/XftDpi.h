#pragma once

// The X server's idea of the screen's density, as desktops publish it in the resource database
// (the Xft.dpi resource), read from the database's text without any X connection.

namespace zibbles::platform {

// The dots per inch in an X resource database string ("Xft.dpi:\t144\n..."), or 0 when absent
// or unusable. Any thread.
double xftDpiOf(const char* resources);

// Device pixels per point for a resource database string: Xft.dpi over 96, or 1 when it is
// absent or outside 0.5 to 8 (taken for a misconfiguration). Any thread.
double xftScaleOf(const char* resources);

} // namespace zibbles::platform

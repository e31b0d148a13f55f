#pragma once

// The pure part of running as a screen-saver daemon's hack: which X window to draw in, and
// whether that window is the settings dialog's small preview.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zibbles::host {

// The variable through which the daemon names the window it made for the hack.
constexpr const char* kHackWindowVariable = "XSCREENSAVER_WINDOW";

// An X window id as "--window-id" or XSCREENSAVER_WINDOW give it: a whole number read as
// strtoul reads it with base 0 ("0x600008", "6291464", octal "030000010"), from 1 to 2^32 - 1,
// nothing before or after it.
std::optional<std::uint32_t> parseWindowId(std::string_view text);

// What the command line and the environment say about hack mode.
struct HackRequest {
    std::optional<std::string> windowIdText; // --window-id / -window-id
    bool root = false;                       // --root / -root
    std::optional<std::string> variable;     // XSCREENSAVER_WINDOW, when set
    bool active() const { return windowIdText || root || variable; }
};

enum class HackWindowKind { Given, Root };

struct HackWindow {
    HackWindowKind kind = HackWindowKind::Root;
    std::uint32_t id = 0; // for Given
};

struct HackChoice {
    std::optional<HackWindow> window;
    std::string error; // for people, when window is empty
};

// The window a hack draws in: the command line's id first, then the daemon's variable, then the
// root window when --root asks for it. An id that does not parse is passed over for the next
// source; when none is left, the error says why.
HackChoice chooseHackWindow(const HackRequest& request);

// The settings dialog's preview (about 565 × 317) is the only small window a daemon hands a
// hack: a window under 640 points wide or under 400 points high is taken for a preview.
bool isPreviewSize(double widthPoints, double heightPoints);

} // namespace zibbles::host

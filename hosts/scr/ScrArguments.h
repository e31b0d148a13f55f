#pragma once

// The command line of zibbles.scr, read as Windows writes it for a screen saver: /s (full
// screen), /p HWND (the preview, inside that window), /c or /c:HWND (the settings dialog, owned
// by that window; no argument at all means the same) and /a [HWND] (change the password, which
// only the systems of the 1990s asked for: nothing to do).
// Letters in either case, after / or -, with ':' or a space before a handle. The Linux saver's
// options (--endpoint, --seed, --trace, --no-network, --figure, --quiet) may follow, for tests
// and for people who run it by hand.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zibbles::host {

enum class ScrMode { FullScreen, Preview, Configure, ChangePassword };

struct ScrOptions {
    std::optional<std::uint64_t> seed;
    std::optional<std::string> tracePath;
    bool noNetwork = false;
    std::optional<std::string> endpoint;
    std::optional<std::string> figurePath;
    bool quiet = false;
    bool version = false;
    bool help = false;
};

struct ScrCommand {
    ScrMode mode = ScrMode::Configure;
    std::optional<std::uintptr_t> window; // the handle after /p or /c, as a number
    ScrOptions options;
};

struct ScrParse {
    std::optional<ScrCommand> command;
    std::string error; // for people, when command is empty
};

ScrParse parseScrArguments(const std::vector<std::string>& arguments);

// "Usage: ..." and one line per mode and option.
std::string scrUsageText(const std::string& program);

} // namespace zibbles::host

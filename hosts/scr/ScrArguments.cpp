#include "hosts/scr/ScrArguments.h"

#include "hosts/common/HostOptions.h"

#include <cctype>
#include <charconv>

namespace zibbles::host {

namespace {

std::vector<OptionRow> optionTable(ScrOptions& o) {
    return {endpointRow(o.endpoint),   seedRow(o.seed),         traceRow(o.tracePath),
            noNetworkRow(o.noNetwork), figureRow(o.figurePath), quietRow(o.quiet),
            versionRow(o.version),     helpRow(o.help),         shortHelpRow(o.help)};
}

// The letter of a mode argument ("/s", "-P", "/c:123"), or 0 when the argument is none.
char modeLetter(const std::string& argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '-') ||
        (argument.size() > 2 && argument[2] != ':'))
        return 0;
    const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(argument[1])));
    return letter == 's' || letter == 'p' || letter == 'c' || letter == 'a' ? letter : 0;
}

// A window handle as Windows writes one on a command line: a whole number, in decimal (or 0x
// and hexadecimal), not 0.
std::optional<std::uintptr_t> parseHandle(const std::string& text) {
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    std::uintptr_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
    if (error != std::errc{} || end != last || first == last || value == 0)
        return std::nullopt;
    return value;
}

bool looksLikeHandle(const std::string& text) {
    return !text.empty() && std::isdigit(static_cast<unsigned char>(text[0]));
}

ScrMode modeOf(char letter) {
    switch (letter) {
    case 's':
        return ScrMode::FullScreen;
    case 'p':
        return ScrMode::Preview;
    case 'a':
        return ScrMode::ChangePassword;
    default:
        return ScrMode::Configure;
    }
}

} // namespace

ScrParse parseScrArguments(const std::vector<std::string>& arguments) {
    ScrCommand command;
    std::optional<std::string> modeArgument;
    std::vector<std::string> options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const char letter = modeLetter(argument);
        if (!letter) {
            options.push_back(argument);
            continue;
        }
        if (modeArgument)
            return {std::nullopt, "'" + argument + "' after '" + *modeArgument +
                                      "': give one of /s, /p, /c and /a"};
        modeArgument = argument;
        command.mode = modeOf(letter);
        std::optional<std::string> handle;
        if (argument.size() > 2)
            handle = argument.substr(3);
        else if (letter != 's' && i + 1 < arguments.size() && looksLikeHandle(arguments[i + 1]))
            handle = arguments[++i];
        if (handle && letter == 's')
            return {std::nullopt, "'" + argument + "' takes no window handle"};
        if (handle) {
            command.window = parseHandle(*handle);
            if (!command.window)
                return {std::nullopt, "'" + *handle + "' is not a window handle"};
        }
        if (letter == 'p' && !command.window)
            return {std::nullopt, "the preview needs the handle of its window: /p HWND"};
    }
    if (auto error = parseArguments(optionTable(command.options), options))
        return {std::nullopt, *error};
    return {std::move(command), {}};
}

std::string scrUsageText(const std::string& program) {
    ScrOptions scratch;
    return usageText(
        program + " [/s | /p HWND | /c[:HWND] | /a] [OPTIONS]",
        "The screen saver. Windows runs it with /s to show it full screen on every "
        "monitor (a key, a click or moving the mouse ends it), /p HWND for the preview "
        "inside that window, and /c (or nothing) for its dialog, which shows the "
        "version, the endpoint and the contract: it has no settings.",
        optionTable(scratch));
}

} // namespace zibbles::host

// zibbles-idle: the resident launcher behind `zibbles --idle SECONDS`, which execs it with the
// options already checked. Not meant to be run by hand.
//   zibbles-idle SAVER SECONDS quiet|status [SAVER_ARGUMENTS...]
#include "hosts/common/ExitCodes.h"
#include "hosts/idle/IdleLauncher.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string_view>

using namespace zibbles::host;

namespace {

// As zibbles checked it; the launcher holds no decoders, which its option parsers bring along.
std::optional<double> secondsOf(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value <= 0 || value > 86400)
        return std::nullopt;
    return value;
}

} // namespace

int main(int argc, char** argv) {
    const auto seconds = argc >= 4 ? secondsOf(argv[2]) : std::nullopt;
    const std::string_view lines = argc >= 4 ? argv[3] : "";
    if (!seconds || (lines != "quiet" && lines != "status")) {
        std::cerr << "zibbles-idle: run 'zibbles --idle SECONDS' instead (see zibbles(6))\n";
        return kExitUsage;
    }
    IdleLauncherChoices choices;
    choices.idleSeconds = *seconds;
    choices.saverPath = argv[1];
    choices.saverArguments.assign(argv + 4, argv + argc);
    if (lines == "status")
        choices.statusLines = [](const std::string& line) {
            std::cerr << "zibbles: " << line << std::endl;
        };
    return runIdleLauncher(choices);
}

#pragma once

// The command line of zibbles-inspect. Options are looked up in one table, so an option that
// takes a value is one more row and one more field.

#include <optional>
#include <string>
#include <vector>

namespace zibbles::inspect {

struct Options {
    bool help = false;
    bool version = false;
    bool batch = false;
    std::optional<std::string> inputPath; // Standard input when absent or "-".
    // --render FILE.png [--size POINTS] [--scale S], checked by renderRequestOf.
    std::optional<std::string> renderPath;
    std::optional<std::string> renderSize;
    std::optional<std::string> renderScale;
    // Asking a chain: --token IDS or --survey N [--seed S] [--json] [--contact-sheet FILE.png],
    // with --endpoint URL and --contract ADDRESS; checked by the chain modes (InspectAsk).
    std::optional<std::string> tokenIds;
    std::optional<std::string> surveyCount;
    std::optional<std::string> seed;
    bool json = false;
    std::optional<std::string> contactSheetPath;
    std::optional<std::string> endpoint;
    std::optional<std::string> contract;
};

struct ParsedArguments {
    std::optional<Options> options;
    std::string error; // Why the command line is not usable, when options is empty.
};

ParsedArguments parseArguments(const std::vector<std::string>& arguments);

// The usage text, ending in a newline.
std::string usageText();

} // namespace zibbles::inspect

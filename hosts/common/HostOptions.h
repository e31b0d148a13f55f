#pragma once

// Command-line pieces shared by every program: a table of options with the values
// they take, the value parsers, and loading a figure from a file.

#include "Zibbles/LoadedZibble.h"
#include "hosts/common/ExitCodes.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zibbles::host {

struct PixelSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// "WxH" with two whole numbers from 1 to 100000 ("1920x1080").
std::optional<PixelSize> parseSize(std::string_view text);
// A finite number greater than zero and at most limit.
std::optional<double> parsePositive(std::string_view text, double limit);
// A finite number from zero to limit.
std::optional<double> parseNonNegative(std::string_view text, double limit);
// A whole number from 0 to 2^64 - 1.
std::optional<std::uint64_t> parseSeed(std::string_view text);

struct OptionRow {
    std::string name;      // "--size"
    std::string valueName; // "WxH"; empty for a flag
    std::string help;      // one line; empty for an alias that the usage text leaves out
    // Takes the value (empty for a flag); gives an error message, or nothing when it is good.
    std::function<std::optional<std::string>(std::string_view value)> apply;
};

// What a row does with its value; the same few kinds of value recur in every host's table.
using ApplyValue = std::function<std::optional<std::string>(std::string_view value)>;

// Sets target to true; for a flag.
ApplyValue setFlag(bool& target);
// Any value but an empty one.
ApplyValue setText(std::optional<std::string>& target);
// An http:// or https:// URL.
ApplyValue setUrl(std::optional<std::string>& target);
// As parseSeed.
ApplyValue setSeed(std::optional<std::uint64_t>& target);
// As parseSize; example ("1280x720") shows the form in the error.
ApplyValue setSize(PixelSize& target, std::string_view example);
// As parsePositive.
ApplyValue setPositive(double& target, double limit);

// The rows every host has, each in the same words wherever it appears.
OptionRow seedRow(std::optional<std::uint64_t>& seed);
OptionRow traceRow(std::optional<std::string>& path);
OptionRow noNetworkRow(bool& noNetwork);
OptionRow endpointRow(std::optional<std::string>& endpoint);
OptionRow figureRow(std::optional<std::string>& path);
OptionRow quietRow(bool& quiet);     // --quiet: no status lines
OptionRow versionRow(bool& version); // --version
OptionRow helpRow(bool& help);       // --help
OptionRow shortHelpRow(bool& help);  // -h, left out of the usage text

// Applies every argument through the table. Gives the first error, or nothing.
std::optional<std::string> parseArguments(const std::vector<OptionRow>& table,
                                          const std::vector<std::string>& arguments);

// As parseArguments, but an unknown option, a missing value or a bad value is skipped and
// reported instead of ending the parse: a screen-saver daemon runs a hack's command line as
// written, and a hack that refuses to start is only restarted. Gives one message per problem.
std::vector<std::string> parseArgumentsLeniently(const std::vector<OptionRow>& table,
                                                 const std::vector<std::string>& arguments);

// "Usage: ...", the summary, and one line per option.
std::string usageText(std::string_view usageLine, std::string_view summary,
                      const std::vector<OptionRow>& table);

struct LoadedFigure {
    std::optional<LoadedZibble> figure;
    std::string error; // for people, when figure is empty
};

// A file holding an SVG, a token URI, an eth_call result or a JSON-RPC body, decoded as a fetch
// would decode it (token id 0).
LoadedFigure loadFigure(const std::string& path);
// As loadFigure when a path is given; without one, neither a figure nor an error.
LoadedFigure loadFigureIfGiven(const std::optional<std::string>& path);

} // namespace zibbles::host

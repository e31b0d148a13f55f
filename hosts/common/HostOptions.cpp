#include "hosts/common/HostOptions.h"

#include "Zibbles/ContentBounds.h"
#include "hosts/common/StagedDecoding.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zibbles::host {
namespace {

constexpr std::int64_t kMaxSide = 100000;

template <typename Number> std::optional<Number> wholeText(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

std::optional<double> number(std::string_view text) {
    // strtod accepts forms a person would not mean ("inf", "0x1p3", leading blanks); refuse them.
    if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string_view::npos)
        return std::nullopt;
    return wholeText<double>(text);
}

const OptionRow* findRow(const std::vector<OptionRow>& table, std::string_view name) {
    for (const OptionRow& row : table)
        if (row.name == name)
            return &row;
    return nullptr;
}

} // namespace

std::optional<PixelSize> parseSize(std::string_view text) {
    const auto x = text.find('x');
    if (x == std::string_view::npos)
        return std::nullopt;
    const auto width = wholeText<std::int64_t>(text.substr(0, x));
    const auto height = wholeText<std::int64_t>(text.substr(x + 1));
    if (!width || !height || *width < 1 || *height < 1 || *width > kMaxSide || *height > kMaxSide)
        return std::nullopt;
    return PixelSize{*width, *height};
}

std::optional<double> parsePositive(std::string_view text, double limit) {
    const auto value = number(text);
    if (!value || !(*value > 0.0 && *value <= limit))
        return std::nullopt;
    return value;
}

std::optional<double> parseNonNegative(std::string_view text, double limit) {
    const auto value = number(text);
    if (!value || !(*value >= 0.0 && *value <= limit))
        return std::nullopt;
    return value;
}

std::optional<std::uint64_t> parseSeed(std::string_view text) {
    return wholeText<std::uint64_t>(text);
}

ApplyValue setFlag(bool& target) {
    return [&target](std::string_view) -> std::optional<std::string> {
        target = true;
        return std::nullopt;
    };
}

ApplyValue setText(std::optional<std::string>& target) {
    return [&target](std::string_view value) -> std::optional<std::string> {
        if (value.empty())
            return "needs a non-empty value";
        target = std::string(value);
        return std::nullopt;
    };
}

ApplyValue setUrl(std::optional<std::string>& target) {
    return [&target](std::string_view value) -> std::optional<std::string> {
        if (value.rfind("http://", 0) != 0 && value.rfind("https://", 0) != 0)
            return "expected an http:// or https:// URL";
        target = std::string(value);
        return std::nullopt;
    };
}

ApplyValue setSeed(std::optional<std::uint64_t>& target) {
    return [&target](std::string_view value) -> std::optional<std::string> {
        target = parseSeed(value);
        if (!target)
            return "expected a whole number from 0 to 2^64-1";
        return std::nullopt;
    };
}

ApplyValue setSize(PixelSize& target, std::string_view example) {
    return [&target, error = "expected WxH, e.g. " + std::string(example)](
               std::string_view value) -> std::optional<std::string> {
        const auto size = parseSize(value);
        if (!size)
            return error;
        target = *size;
        return std::nullopt;
    };
}

ApplyValue setPositive(double& target, double limit) {
    std::ostringstream error;
    error << "expected a number above 0, at most " << limit;
    return [&target, limit,
            error = error.str()](std::string_view value) -> std::optional<std::string> {
        const auto number = parsePositive(value, limit);
        if (!number)
            return error;
        target = *number;
        return std::nullopt;
    };
}

OptionRow seedRow(std::optional<std::uint64_t>& seed) {
    return {"--seed", "N", "seed the random source (default: from the OS)", setSeed(seed)};
}

OptionRow traceRow(std::optional<std::string>& path) {
    return {"--trace", "FILE", "write the platform's trace as JSON lines", setText(path)};
}

OptionRow noNetworkRow(bool& noNetwork) {
    return {"--no-network", "", "fetch nothing", setFlag(noNetwork)};
}

OptionRow endpointRow(std::optional<std::string>& endpoint) {
    return {"--endpoint", "URL", "ask this JSON-RPC endpoint instead of the built-in one",
            setUrl(endpoint)};
}

OptionRow figureRow(std::optional<std::string>& path) {
    return {"--figure", "FILE",
            "show this figure first (SVG, token URI, eth_call hex or JSON-RPC body)",
            setText(path)};
}

OptionRow quietRow(bool& quiet) {
    return {"--quiet", "", "write no status lines (why no figure shows, when figures return)",
            setFlag(quiet)};
}

OptionRow versionRow(bool& version) {
    return {"--version", "", "show the version, the built-in endpoint and the contract",
            setFlag(version)};
}

OptionRow helpRow(bool& help) {
    return {"--help", "", "show this text", setFlag(help)};
}

OptionRow shortHelpRow(bool& help) {
    return {"-h", "", "", setFlag(help)};
}

namespace {

enum class OnProblem { Stop, SkipAndGoOn };

// Applies the arguments in turn; each problem goes to problems, and the parse stops at the first
// one unless asked to go on (an unknown option is then skipped alone, a bad value with its name).
void applyArguments(const std::vector<OptionRow>& table, const std::vector<std::string>& arguments,
                    OnProblem onProblem, std::vector<std::string>& problems) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (!problems.empty() && onProblem == OnProblem::Stop)
            return;
        std::string name = arguments[i];
        std::optional<std::string> inlineValue;
        if (const auto equals = name.find('='); name.rfind("--", 0) == 0 && equals != name.npos) {
            inlineValue = name.substr(equals + 1);
            name.resize(equals);
        }
        const OptionRow* row = findRow(table, name);
        if (!row) {
            problems.push_back("unknown option '" + arguments[i] + "'");
            continue;
        }
        if (row->valueName.empty()) {
            if (inlineValue)
                problems.push_back("option '" + name + "' takes no value");
            else if (auto error = row->apply({}))
                problems.push_back(*error);
            continue;
        }
        if (!inlineValue && i + 1 >= arguments.size()) {
            problems.push_back("option '" + name + "' needs a value (" + row->valueName + ")");
            continue;
        }
        const std::string value = inlineValue ? *inlineValue : arguments[++i];
        if (auto error = row->apply(value))
            problems.push_back("option '" + name + "': " + *error);
    }
}

} // namespace

std::optional<std::string> parseArguments(const std::vector<OptionRow>& table,
                                          const std::vector<std::string>& arguments) {
    std::vector<std::string> problems;
    applyArguments(table, arguments, OnProblem::Stop, problems);
    if (problems.empty())
        return std::nullopt;
    return problems.front();
}

std::vector<std::string> parseArgumentsLeniently(const std::vector<OptionRow>& table,
                                                 const std::vector<std::string>& arguments) {
    std::vector<std::string> problems;
    applyArguments(table, arguments, OnProblem::SkipAndGoOn, problems);
    return problems;
}

std::string usageText(std::string_view usageLine, std::string_view summary,
                      const std::vector<OptionRow>& table) {
    std::ostringstream text;
    text << "Usage: " << usageLine << "\n" << summary << "\n\nOptions:\n";
    for (const OptionRow& row : table) {
        if (row.help.empty())
            continue; // an alias, listed under its long name
        std::string left = row.name + (row.valueName.empty() ? "" : " " + row.valueName);
        text << "  " << left << std::string(left.size() < 22 ? 22 - left.size() : 1, ' ')
             << row.help << "\n";
    }
    return text.str();
}

LoadedFigure loadFigure(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return {std::nullopt, "cannot read '" + path + "': " + std::strerror(errno)};
    std::ostringstream text;
    text << file.rdbuf();
    const auto inspection = decodeStaged(text.str(), InputKinds::AnyStage);
    if (!inspection.pixels)
        return {std::nullopt, "'" + path + "' does not decode: " + inspection.pixels.error.message};
    LoadedZibble figure;
    figure.pixels = *inspection.pixels.value;
    figure.content = contentBounds(figure.pixels);
    return {std::move(figure), {}};
}

LoadedFigure loadFigureIfGiven(const std::optional<std::string>& path) {
    if (!path)
        return {};
    return loadFigure(*path);
}

} // namespace zibbles::host

#include "hosts/InspectOptions.h"

#include <functional>
#include <string_view>

namespace zibbles::inspect {

namespace {

struct OptionRow {
    std::string_view name;
    std::string_view valueName; // Empty for a flag.
    std::function<void(Options&, const std::string&)> apply;
};

const std::vector<OptionRow>& optionTable() {
    static const std::vector<OptionRow> table = {
        {"--help", "", [](Options& o, const std::string&) { o.help = true; }},
        {"-h", "", [](Options& o, const std::string&) { o.help = true; }},
        {"--batch", "", [](Options& o, const std::string&) { o.batch = true; }},
        {"--render", "FILE.png", [](Options& o, const std::string& v) { o.renderPath = v; }},
        {"--size", "POINTS", [](Options& o, const std::string& v) { o.renderSize = v; }},
        {"--scale", "S", [](Options& o, const std::string& v) { o.renderScale = v; }},
        {"--token", "SPEC", [](Options& o, const std::string& v) { o.tokenSpec = v; }},
        {"--survey", "N", [](Options& o, const std::string& v) { o.surveyCount = v; }},
        {"--seed", "S", [](Options& o, const std::string& v) { o.seed = v; }},
        {"--json", "", [](Options& o, const std::string&) { o.json = true; }},
        {"--contact-sheet", "FILE.png",
         [](Options& o, const std::string& v) { o.contactSheetPath = v; }},
        {"--endpoint", "URL", [](Options& o, const std::string& v) { o.endpoint = v; }},
        {"--contract", "ADDRESS", [](Options& o, const std::string& v) { o.contract = v; }},
    };
    return table;
}

const OptionRow* findOption(std::string_view name) {
    for (const OptionRow& row : optionTable())
        if (row.name == name)
            return &row;
    return nullptr;
}

ParsedArguments failure(std::string error) {
    return ParsedArguments{std::nullopt, error};
}

} // namespace

ParsedArguments parseArguments(const std::vector<std::string>& arguments) {
    Options options;
    bool onlyFiles = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!onlyFiles && argument == "--") {
            onlyFiles = true;
            continue;
        }
        if (!onlyFiles && argument.size() > 1 && argument[0] == '-') {
            const OptionRow* row = findOption(argument);
            if (!row)
                return failure("unknown option '" + argument + "'");
            if (!row->valueName.empty() && i + 1 >= arguments.size())
                return failure("option '" + argument + "' needs a value");
            row->apply(options, row->valueName.empty() ? std::string() : arguments[++i]);
            continue;
        }
        if (options.inputPath)
            return failure("more than one input file ('" + *options.inputPath + "' and '" +
                           argument + "')");
        options.inputPath = argument;
    }
    return ParsedArguments{options, ""};
}

std::string usageText() {
    return "Usage: zibbles-inspect [--batch] [--render FILE.png [--size POINTS] [--scale S]] "
           "[FILE]\n"
           "Decodes one token's artwork and prints its rectangles as JSON.\n"
           "\n"
           "FILE (or standard input when absent or '-') holds one of:\n"
           "  a JSON-RPC response body of tokenURI     starts with '{'\n"
           "  the eth_call result, ABI-encoded string  starts with '0x' or a hex digit\n"
           "  a token URI                              starts with 'data:'\n"
           "  an SVG document                          starts with '<'\n"
           "and the decoding runs from that stage on. The output is one JSON object:\n"
           "  {\"stages\":[...],\"pixels\":[[x,y,w,h,\"#rrggbbaa\"],...],\"content\":[x,y,w,h]}\n"
           "\n"
           "Options:\n"
           "  --batch     every line is one JSON-RPC response body or hex result; prints one\n"
           "              JSON line per input line, with \"pixels\":null and an \"error\" on\n"
           "              failure\n"
           "  --render FILE.png  also draw the figure into FILE.png as the sprite shows it:\n"
           "              N x N pixels, N = size x scale rounded, transparent margins\n"
           "  --size POINTS  the sprite's side for --render (default 148.5)\n"
           "  --scale S   device pixels per point for --render (default 2)\n"
           "  -h, --help  show this text\n"
           "\n"
           "Exit status: 0 when every input decoded, 1 when one did not (the reason, naming\n"
           "the stage, goes to standard error) or the input cannot be read, 2 for bad usage.\n";
}

} // namespace zibbles::inspect

#include "hosts/inspect/InspectOptions.h"

#include "Zibbles/supply/Endpoint.h"

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
        {"--version", "", [](Options& o, const std::string&) { o.version = true; }},
        {"--batch", "", [](Options& o, const std::string&) { o.batch = true; }},
        {"--render", "FILE.png", [](Options& o, const std::string& v) { o.renderPath = v; }},
        {"--size", "POINTS", [](Options& o, const std::string& v) { o.renderSize = v; }},
        {"--scale", "S", [](Options& o, const std::string& v) { o.renderScale = v; }},
        {"--token", "IDS", [](Options& o, const std::string& v) { o.tokenIds = v; }},
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
           "       zibbles-inspect --token IDS [--endpoint URL] [--contract ADDRESS]\n"
           "       zibbles-inspect --survey N [--seed S] [--json] [--contact-sheet FILE.png]\n"
           "                       [--endpoint URL] [--contract ADDRESS]\n"
           "Decodes one token's artwork and prints its rectangles as JSON, or asks the chain\n"
           "for tokens and decodes their answers as the saver does.\n"
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
           "              failure; a line over 16 MiB is answered with an error unread\n"
           "  --render FILE.png  also draw the figure into FILE.png as the sprite shows it:\n"
           "              N x N pixels, N = size x scale rounded, transparent margins\n"
           "  --size POINTS  the sprite's side for --render (default 148.5)\n"
           "  --scale S   device pixels per point for --render (default 2)\n"
           "  --token IDS  ask the chain for these token ids: ids and ranges joined by\n"
           "              commas, e.g. 42, 1-100, 7,9,20-25 (0 to 9223372036854775807);\n"
           "              prints one --batch line per id, in id order, with a \"token\"\n"
           "              member first; a request that failed has \"stage\":\"request\",\n"
           "              and one the endpoint refused on the way \"refused\":N last\n"
           "  --survey N  ask the chain for N random ids of 1-83300 (without repeats and\n"
           "              without the ids the saver skips) and print a summary: decoded and\n"
           "              failed counts, failures by stage and reason with up to three ids,\n"
           "              refusals and retries, the rate reached, rects per figure, answer\n"
           "              sizes and request times\n"
           "  --seed S    seed for --survey's ids, 0 to 2^64-1 (default: from the OS; the\n"
           "              summary names it)\n"
           "  --json      print --survey's summary as one JSON object\n"
           "  --contact-sheet FILE.png  also draw every figure --survey decoded, in id\n"
           "              order, on one grid as the sprite draws it (at most 4096)\n"
           "  --endpoint URL  the JSON-RPC endpoint to ask, http:// or https:// (default\n"
           "              the build's, " +
           std::string(Endpoint::rpcURL()) +
           ")\n"
           "  --contract ADDRESS  the collection contract, 0x and 40 hex digits (default\n"
           "              the build's, " +
           std::string(Endpoint::contractAddress()) +
           ")\n"
           "  --version   show the version\n"
           "  -h, --help  show this text\n"
           "\n"
           "The chain is asked as the saver asks it (eth_call of tokenURI, 12 s without\n"
           "progress fails), at most 8 requests at once. An endpoint that refuses (HTTP\n"
           "429, 502, 503 or 504, or a JSON-RPC error -32005 or -32029) is asked again\n"
           "after the wait it names (Retry-After, data.backoff_seconds) or a backoff from\n"
           "250 ms up to 8 s, at most 6 tries per id, and with fewer requests at once\n"
           "while it refuses. A progress line shows on standard error when it is a\n"
           "terminal (for --token, when standard output is not), also while tokens wait\n"
           "for the endpoint. Ctrl-C stops a survey and prints the summary of what\n"
           "finished.\n"
           "\n"
           "Exit status: 0 when every input or token decoded, 1 when one did not (the\n"
           "reason, naming the stage, goes to standard error, or into the JSON line) or\n"
           "the input cannot be read, 2 for bad usage, 130 when Ctrl-C stopped a survey.\n";
}

} // namespace zibbles::inspect

// zibbles-inspect: decodes one token's artwork, or a file of them, and says what it holds or
// why it does not decode.
//
// Flow of control:
//   main
//   ├── parseArguments            usage errors → exit 2, --help → exit 0
//   ├── --token or --survey       chainPlanOf → runChainPlan (InspectAskRun.cpp)
//   ├── readAll(FILE or stdin)    unreadable → exit 1
//   └── one input                 inspect → inspectionJson on stdout, or the reason on stderr
//       or --batch                streamed: each line as it completes → inspect (JSON-RPC body or
//                                 hex only) → one JSON line through one buffered output

#include "hosts/common/ExitCodes.h"
#include "hosts/common/ProcessSetup.h"
#include "hosts/common/StagedDecoding.h"
#include "hosts/common/VersionText.h"
#include "hosts/inspect/InspectAsk.h"
#include "hosts/inspect/InspectBatch.h"
#include "hosts/inspect/InspectJson.h"
#include "hosts/inspect/InspectOptions.h"
#include "hosts/inspect/InspectRender.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

using namespace zibbles::inspect;
using zibbles::host::kExitFailed;
using zibbles::host::kExitOk;

std::optional<std::string> readAll(const std::optional<std::string>& path) {
    std::ostringstream text;
    if (!path || *path == "-") {
        text << std::cin.rdbuf();
        return text.str();
    }
    std::ifstream file(*path, std::ios::binary);
    if (!file) {
        std::cerr << "zibbles-inspect: cannot read '" << *path << "': " << std::strerror(errno)
                  << "\n";
        return std::nullopt;
    }
    text << file.rdbuf();
    return text.str();
}

int inspectOne(const std::string& input, const std::optional<RenderRequest>& render) {
    const zibbles::host::StagedDecoding inspection =
        zibbles::host::decodeStaged(input, zibbles::host::InputKinds::AnyStage);
    if (!inspection.pixels) {
        std::cerr << "zibbles-inspect: " << inspection.pixels.error.message << "\n";
        return kExitFailed;
    }
    if (render) {
        if (const auto error = renderFigurePng(*inspection.pixels.value, *render)) {
            std::cerr << "zibbles-inspect: " << *error << "\n";
            return kExitFailed;
        }
    }
    std::cout << inspectionJson(inspection) << "\n";
    return kExitOk;
}

// The input is streamed: read in blocks, each line answered as it completes.
int runBatch(const std::optional<std::string>& path) {
    const bool fromStdin = !path || *path == "-";
    const std::string name = fromStdin ? std::string("standard input") : "'" + *path + "'";
    const int fd = fromStdin ? STDIN_FILENO : ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        std::cerr << "zibbles-inspect: cannot read " << name << ": " << std::strerror(errno)
                  << "\n";
        return kExitFailed;
    }
    OutputBuffer out(STDOUT_FILENO);
    const BatchResult batch = inspectBatch(fd, out);
    if (!fromStdin)
        ::close(fd);
    if (!out.flush()) {
        std::cerr << "zibbles-inspect: cannot write the answers: "
                  << std::strerror(out.writeError()) << "\n";
        return kExitFailed;
    }
    if (!batch.readError.empty()) {
        std::cerr << "zibbles-inspect: cannot read " << name << ": " << batch.readError << "\n";
        return kExitFailed;
    }
    return batch.allDecoded ? kExitOk : kExitFailed;
}

int runMain(int argc, char** argv) {
    const ParsedArguments parsed = parseArguments(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options)
        return zibbles::host::usageError("zibbles-inspect", parsed.error);
    const Options& options = *parsed.options;
    if (options.help) {
        std::cout << usageText();
        return kExitOk;
    }
    if (options.version) {
        std::cout << zibbles::host::versionText("zibbles-inspect",
                                                zibbles::host::BuildConstants::Left);
        return kExitOk;
    }
    const ChainPlanOrError chain = chainPlanOf(options);
    if (chain.plan)
        return runChainPlan(*chain.plan);
    if (!chain.error.empty())
        return zibbles::host::usageError("zibbles-inspect", chain.error);
    std::optional<RenderRequest> render;
    if (options.renderPath || options.renderSize || options.renderScale) {
        const RenderRequestOrError checked =
            options.batch ? RenderRequestOrError{std::nullopt, "--render does not go with --batch"}
            : !options.renderPath
                ? RenderRequestOrError{std::nullopt, "--size and --scale go with --render"}
                : renderRequestOf(*options.renderPath, options.renderSize, options.renderScale);
        if (!checked.request)
            return zibbles::host::usageError("zibbles-inspect", checked.error);
        render = checked.request;
    }
    if (options.batch)
        return runBatch(options.inputPath);
    const std::optional<std::string> input = readAll(options.inputPath);
    if (!input)
        return kExitFailed;
    return inspectOne(*input, render);
}

} // namespace

int main(int argc, char** argv) {
    return zibbles::host::runProgram("zibbles-inspect", [&] { return runMain(argc, argv); });
}

// zibbles-render: runs the saver without a screen and writes its frames as PNG files.
//
// Flow of control:
// clang-format off
//   main
//   ├── parseOptions              usage errors → exit 2, --help or --version → exit 0
//   ├── makeEnvironment           clock (virtual or monotonic), queue, random, screen, session,
//   │                             trace, status lines on stderr unless --quiet
//   ├── ViewRegistry::make        "ZibblesBounceView" of --size points, in a Window of --scale
//   ├── --figure                  decoded like a fetch and shown at once (current, refreshSprite)
//   ├── startAnimation
//   ├── each frame                advanceToFrame (leg ends, fetch results) → noteShownFigure
//   │                             ("figure.shown" in the trace) → Compositor::render → writePng
//   ├── stopAnimation
//   └── --contact-sheet           the figures shown, once each → writePng; one summary line on
//                                 stderr
// clang-format on

#include "Zibbles/ZibblesBounceView.h"
#include "hosts/common/ContactSheet.h"
#include "hosts/common/HostEnvironment.h"
#include "hosts/common/HostOptions.h"
#include "hosts/common/ProcessSetup.h"
#include "hosts/common/VersionText.h"
#include "hosts/render/RenderPacing.h"
#include "platform/Compositor.h"
#include "platform/PngWriter.h"
#include "platform/SoftwareFramebuffer.h"
#include "platform/ViewRegistry.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace {

using namespace zibbles;
using namespace zibbles::host;

constexpr const char* kProgram = "zibbles-render";
// Each frame is held whole in memory (4 bytes a device pixel): 256 MiB at this side.
constexpr std::int64_t kMostDevicePixelsASide = 8192;

struct RenderOptions {
    PixelSize size{1920, 1080}; // points
    double scale = 1.0;
    double seconds = 10.0;
    double fps = 30.0;
    std::optional<std::string> outDir;
    bool virtualTime = false;
    std::optional<std::uint64_t> seed;
    bool preview = false;
    std::optional<std::string> tracePath;
    bool noNetwork = false;
    std::optional<std::string> endpoint;
    std::optional<std::string> figurePath;
    std::optional<std::string> contactSheetPath;
    bool quiet = false;
    bool version = false;
    bool help = false;
};

std::vector<OptionRow> optionTable(RenderOptions& o) {
    return {
        {"--size", "WxH",
         "view size in points, at most " + std::to_string(kMostDevicePixelsASide) +
             " device pixels a side (default 1920x1080)",
         setSize(o.size, "1920x1080")},
        {"--scale", "S", "device pixels per point (default 1)", setPositive(o.scale, 8.0)},
        {"--seconds", "T", "seconds of animation to run (default 10)",
         [&](std::string_view v) -> std::optional<std::string> {
             auto seconds = parseNonNegative(v, 7 * 86400.0);
             if (!seconds)
                 return "expected a number of seconds from 0 to 604800";
             o.seconds = *seconds;
             return std::nullopt;
         }},
        {"--fps", "F", "frames per second (default 30)", setPositive(o.fps, 1000.0)},
        {"--out", "DIR", "write frame-00000.png, ... here (made if missing)", setText(o.outDir)},
        {"--virtual-time", "", "run the clock as fast as the work allows", setFlag(o.virtualTime)},
        seedRow(o.seed),
        {"--preview", "", "make the view as a preview", setFlag(o.preview)},
        traceRow(o.tracePath),
        noNetworkRow(o.noNetwork),
        endpointRow(o.endpoint),
        figureRow(o.figurePath),
        {"--contact-sheet", "FILE",
         "at the end, write every figure shown, once each, in order, as a PNG grid",
         setText(o.contactSheetPath)},
        quietRow(o.quiet),
        versionRow(o.version),
        helpRow(o.help),
        shortHelpRow(o.help),
    };
}

std::string usage() {
    RenderOptions scratch;
    return usageText(std::string(kProgram) + " [OPTIONS]",
                     "Runs the saver without a screen and writes its frames as PNG files.",
                     optionTable(scratch));
}

int fail(const std::string& message) {
    std::cerr << kProgram << ": " << message << "\n";
    return kExitFailed;
}

std::shared_ptr<ZibblesBounceView> makeView(const platform::Environment& environment,
                                            const RenderOptions& o) {
    platform::ViewRegistry registry;
    registerZibblesBounceView(registry);
    const platform::Rect frame{
        {0, 0}, {static_cast<double>(o.size.width), static_cast<double>(o.size.height)}};
    auto view = std::dynamic_pointer_cast<ZibblesBounceView>(
        registry.make(ZibblesBounceView::className, environment, frame, o.preview));
    if (view)
        view->setWindow(std::make_shared<platform::Window>(o.scale));
    return view;
}

std::string framePath(const std::string& dir, std::int64_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%05lld.png", static_cast<long long>(index));
    return (std::filesystem::path(dir) / name).string();
}

// After each step of the loop: one trace line whenever the view starts to show another figure.
// The module writes nothing to the trace of its own; which figure is on show is the host's to say.
void noteShownFigure(ShownFigures& shown, const ZibblesBounceView& view, platform::Trace* trace) {
    const auto id = shown.note(view.current);
    if (id && trace)
        trace->record("figure.shown", "\"token\":" + std::to_string(*id));
}

std::optional<std::string> writeContactSheet(const std::string& path, const ShownFigures& shown,
                                             const platform::Layer& root) {
    const auto grey = root.backgroundColor().value_or(platform::Color{0, 0, 0, 1});
    const auto sheet = drawContactSheet(shown.kept(), grey);
    const auto png = sheet ? platform::writePng(path, *sheet) : platform::PngResult{false, "empty"};
    if (!png.ok)
        return "cannot write the contact sheet '" + path + "': " + png.error;
    std::cerr << kProgram << ": " << shown.distinctShown() << " figures shown, "
              << shown.kept().size() << " on the contact sheet " << path << "\n";
    return std::nullopt;
}

int run(const RenderOptions& o) {
    if (o.outDir) {
        std::error_code error;
        std::filesystem::create_directories(*o.outDir, error);
        if (error)
            return fail("cannot make the folder '" + *o.outDir + "': " + error.message());
    }
    if (o.contactSheetPath)
        if (const auto error = sheetFolderProblem(*o.contactSheetPath))
            return fail(*error);
    LoadedFigure loaded = loadFigureIfGiven(o.figurePath);
    if (!loaded.error.empty())
        return fail(loaded.error);
    std::optional<LoadedZibble> figure = std::move(loaded.figure);

    std::shared_ptr<platform::Clock> clock;
    if (o.virtualTime)
        clock = std::make_shared<platform::VirtualClock>(0.0);
    else
        clock = std::make_shared<platform::MonotonicClock>();
    auto made =
        makeEnvironment({clock, o.seed, o.scale, o.noNetwork ? Network::None : Network::Real,
                         o.tracePath, o.endpoint, statusLinesOnStandardError(kProgram, o.quiet)});
    if (!made.environment)
        return fail(made.error);
    const platform::Environment& environment = *made.environment;

    auto view = makeView(environment, o);
    if (!view || !view->layer())
        return fail("the view could not be made");
    if (figure) {
        view->current = std::move(figure);
        view->refreshSprite();
    }

    platform::SoftwareFramebuffer framebuffer(
        std::llround(static_cast<double>(o.size.width) * o.scale),
        std::llround(static_cast<double>(o.size.height) * o.scale), o.scale);
    platform::Compositor compositor;
    FramePacer pacer(environment.mainQueue, [&view] { return !view->pending.empty(); });

    const auto started = std::chrono::steady_clock::now();
    const double start = clock->now();
    const auto frames = std::llround(o.seconds * o.fps);
    std::int64_t written = 0;
    ShownFigures shown;
    view->startAnimation();
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = start + static_cast<double>(i) / o.fps;
        pacer.advanceTo(t);
        noteShownFigure(shown, *view, environment.trace.get());
        compositor.render(*view->layer(), t, framebuffer);
        if (!o.outDir)
            continue;
        const auto png = platform::writePng(framePath(*o.outDir, i), *framebuffer.snapshot());
        if (!png.ok) {
            view->stopAnimation();
            return fail("cannot write '" + framePath(*o.outDir, i) + "': " + png.error);
        }
        ++written;
    }
    view->stopAnimation();

    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
    std::cerr << kProgram << ": " << frames << " frames of " << framebuffer.width() << "x"
              << framebuffer.height() << " px rendered in " << took.count() << " s, " << written
              << " written" << (o.outDir ? " to " + *o.outDir : std::string()) << "\n";
    if (o.contactSheetPath)
        if (const auto error = writeContactSheet(*o.contactSheetPath, shown, *view->layer()))
            return fail(*error);
    return kExitOk;
}

int runMain(int argc, char** argv) {
    RenderOptions options;
    const auto error =
        parseArguments(optionTable(options), std::vector<std::string>(argv + 1, argv + argc));
    if (error)
        return usageError(kProgram, *error);
    if (static_cast<double>(std::max(options.size.width, options.size.height)) * options.scale >
        static_cast<double>(kMostDevicePixelsASide))
        return usageError(kProgram, "--size and --scale make more than " +
                                        std::to_string(kMostDevicePixelsASide) +
                                        " device pixels a side");
    if (options.help) {
        std::cout << usage();
        return kExitOk;
    }
    if (options.version) {
        std::cout << versionText(kProgram, BuildConstants::Shown);
        return kExitOk;
    }
    return run(options);
}

} // namespace

int main(int argc, char** argv) {
    return zibbles::host::runProgram(kProgram, [&] { return runMain(argc, argv); });
}

#include "hosts/scr/ScrRun.h"

#include "hosts/common/ExitCodes.h"
#include "hosts/common/HostEnvironment.h"
#include "hosts/common/HostOptions.h"
#include "hosts/scr/ScrConsole.h"
#include "hosts/scr/ScrLoop.h"
#include "platform/ViewRegistry.h"
#include "platform/win32/DpiWin32.h"

#include <cstdio>

namespace zibbles::host {

namespace {

constexpr const char* kProgram = "zibbles";

int fail(const std::string& message) {
    sayLine(kProgram, message);
    return kExitFailed;
}

HWND windowOf(std::uintptr_t handle) {
    return reinterpret_cast<HWND>(handle);
}

std::vector<RECT> monitorAreas() {
    std::vector<RECT> areas;
    EnumDisplayMonitors(
        nullptr, nullptr,
        [](HMONITOR monitor, HDC, LPRECT, LPARAM list) -> BOOL {
            MONITORINFO info{};
            info.cbSize = sizeof info;
            if (GetMonitorInfoW(monitor, &info))
                reinterpret_cast<std::vector<RECT>*>(list)->push_back(info.rcMonitor);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&areas));
    return areas;
}

// The windows to draw in, or the reason there are none.
std::vector<std::unique_ptr<ScrWindow>> makeWindows(const ScrCommand& command, std::string& error) {
    std::vector<std::unique_ptr<ScrWindow>> windows;
    if (command.mode == ScrMode::Preview) {
        if (auto window = ScrWindow::preview(windowOf(*command.window), error))
            windows.push_back(std::move(window));
        return windows;
    }
    for (const RECT& area : monitorAreas()) {
        auto window = ScrWindow::fullScreen(area, error);
        if (!window)
            return {};
        windows.push_back(std::move(window));
    }
    if (windows.empty() && error.empty())
        error = "no monitor to show the saver on";
    return windows;
}

void traceView(platform::Trace* trace, SIZE pixels, double scale, bool preview) {
    if (!trace)
        return;
    char fields[160];
    std::snprintf(fields, sizeof fields,
                  "\"width\":%ld,\"height\":%ld,\"scale\":%.10g,\"preview\":%s",
                  static_cast<long>(pixels.cx), static_cast<long>(pixels.cy), scale,
                  preview ? "true" : "false");
    trace->record("view.made", fields);
}

std::optional<ScrScreen> makeScreen(std::unique_ptr<ScrWindow> window,
                                    const platform::Environment& environment,
                                    const std::optional<LoadedZibble>& figure) {
    const SIZE pixels = window->clientSize();
    const double scale = platform::scaleOfDpi(window->dpi());
    const bool preview = window->mode() == ScrMode::Preview;
    ScrScreen screen;
    screen.target = std::make_unique<platform::CompositorTargetGdi>(window->handle(), pixels.cx,
                                                                    pixels.cy, scale);
    window->setTarget(screen.target.get());
    screen.window = std::move(window);
    platform::ViewRegistry registry;
    registerZibblesBounceView(registry);
    screen.view = std::dynamic_pointer_cast<ZibblesBounceView>(registry.make(
        ZibblesBounceView::className, environment,
        {{0, 0}, {static_cast<double>(pixels.cx) / scale, static_cast<double>(pixels.cy) / scale}},
        preview));
    if (!screen.view || !screen.view->layer()) {
        fail("the view could not be made");
        return std::nullopt;
    }
    screen.viewWindow = std::make_shared<platform::Window>(scale);
    screen.view->setWindow(screen.viewWindow);
    if (figure) {
        screen.view->current = figure;
        screen.view->refreshSprite();
    }
    traceView(environment.trace.get(), pixels, scale, preview);
    return screen;
}

} // namespace

int runScr(const ScrCommand& command) {
    const ScrOptions& o = command.options;
    LoadedFigure loaded = loadFigureIfGiven(o.figurePath);
    if (!loaded.error.empty())
        return fail(loaded.error);
    platform::becomePerMonitorDpiAware();
    std::string error;
    auto windows = makeWindows(command, error);
    if (windows.empty())
        return command.mode == ScrMode::Preview ? (sayLine(kProgram, error), kExitUsage)
                                                : fail(error);

    EnvironmentChoices choices =
        saverEnvironmentChoices(o, statusLinesForWindows(kProgram, o.quiet));
    choices.mainScreenScale = platform::scaleOfDpi(windows.front()->dpi());
    auto made = makeEnvironment(choices);
    if (!made.environment)
        return fail(made.error);

    std::vector<ScrScreen> screens;
    for (auto& window : windows) {
        auto screen = makeScreen(std::move(window), *made.environment, loaded.figure);
        if (!screen)
            return kExitFailed;
        screens.push_back(std::move(*screen));
    }
    const LoopResult result =
        runScrLoop(*made.environment->mainQueue, screens, made.environment->trace.get());
    screens.clear(); // the views before the services they were made with
    return result.exitCode;
}

} // namespace zibbles::host

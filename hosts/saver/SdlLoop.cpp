#include "hosts/saver/SdlLoop.h"

#include "hosts/common/HostOptions.h"
#include "hosts/saver/LoopTiming.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <iostream>

namespace zibbles::host {
namespace {

// The longest sleep while nothing moves: how late a signal's quit flag may be seen.

bool isQuitEvent(const SDL_Event& event, const LoopSettings& settings) {
    if (settings.isWindowGoneEvent && settings.isWindowGoneEvent(event))
        return true;
    const QuitOn quitOn = settings.quitOn;
    if (quitOn == QuitOn::WindowGone)
        return false;
    switch (event.type) {
    case SDL_QUIT:
        return true;
    case SDL_WINDOWEVENT:
        return event.window.event == SDL_WINDOWEVENT_CLOSE;
    case SDL_KEYDOWN:
        return quitOn == QuitOn::AnyInput || event.key.keysym.sym == SDLK_ESCAPE;
    case SDL_MOUSEBUTTONDOWN:
        return quitOn == QuitOn::AnyInput;
    default:
        return false;
    }
}

SaverScreen* screenOf(std::vector<SaverScreen>& screens, std::uint32_t windowId) {
    for (SaverScreen& screen : screens)
        if (SDL_GetWindowID(screen.window) == windowId)
            return &screen;
    return nullptr;
}

// A new size or lost pixels: the view follows the window's size in points, and the next frame
// repaints everything.
bool windowChanged(SaverScreen& screen) {
    if (!screen.target->windowChanged())
        return false;
    const double scale = screen.target->scale();
    const auto& framebuffer = screen.target->framebuffer();
    screen.view->setFrameSize({static_cast<double>(framebuffer.width()) / scale,
                               static_cast<double>(framebuffer.height()) / scale});
    screen.compositor.invalidate();
    return true;
}

enum class Next { Continue, Quit, Fail };

// Handles one event.
Next handle(const SDL_Event& event, std::vector<SaverScreen>& screens,
            const LoopSettings& settings) {
    if (isQuitEvent(event, settings))
        return Next::Quit;
    if (event.type != SDL_WINDOWEVENT)
        return Next::Continue;
    SaverScreen* screen = screenOf(screens, event.window.windowID);
    const auto what = event.window.event;
    if (!screen || (what != SDL_WINDOWEVENT_SIZE_CHANGED && what != SDL_WINDOWEVENT_EXPOSED))
        return Next::Continue;
    if (windowChanged(*screen))
        return Next::Continue;
    if (settings.windowLost && settings.windowLost())
        return Next::Quit; // the daemon took its window away mid-resize
    std::cerr << "zibbles: SDL_GetWindowSurface: " << SDL_GetError() << "\n";
    return Next::Fail;
}

bool anythingMoves(const std::vector<SaverScreen>& screens, double t) {
    for (const SaverScreen& screen : screens)
        for (const auto& layer : screen.view->layer()->sublayers())
            if (layer->isAnimating(t))
                return true;
    return false;
}

// Paints and shows what changed on every screen. Gives true when anything was shown.
bool renderAll(std::vector<SaverScreen>& screens, double now, Redraw redraw) {
    bool shown = false;
    for (SaverScreen& screen : screens) {
        if (redraw == Redraw::FullFrame)
            screen.compositor.invalidate();
        shown =
            !screen.compositor.render(*screen.view->layer(), now, *screen.target).empty() || shown;
    }
    return shown;
}

} // namespace

LoopResult runSaverLoop(platform::MainQueue& queue, std::vector<SaverScreen>& screens,
                        const LoopSettings& settings, const volatile std::sig_atomic_t& quitFlag) {
    // Posts from other threads (fetch results) wake the wait below.
    const std::uint32_t wakeEvent = SDL_RegisterEvents(1);
    queue.setWakeHook([wakeEvent] {
        SDL_Event event{};
        event.type = wakeEvent;
        SDL_PushEvent(&event);
    });
    for (SaverScreen& screen : screens)
        screen.view->startAnimation();

    LoopResult result;
    const double frameInterval = 1.0 / std::clamp(settings.refreshRate, 1.0, 1000.0);
    const double start = queue.now();
    double nextFrame = start;
    Next next = Next::Continue;
    while (next == Next::Continue && !quitFlag) {
        if (settings.windowLost && settings.windowLost())
            break;
        queue.runDueTasks();
        const double now = queue.now();
        const bool moving = anythingMoves(screens, now);
        // While something moves, frames keep to the refresh grid. Otherwise every wake-up looks
        // for changes (a figure that arrived), which costs nothing when there are none.
        if (!moving || now >= nextFrame) {
            const Redraw redraw = moving ? settings.redraw : Redraw::Damaged;
            result.framesPresented += renderAll(screens, now, redraw) ? 1 : 0;
            nextFrame = frameAfter(nextFrame, now, frameInterval);
        }
        const double sleep = secondsBeforeNextWake(queue, moving, nextFrame);
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, static_cast<int>(std::ceil(sleep * 1000.0)))) {
            do {
                if (next == Next::Continue)
                    next = handle(event, screens, settings);
            } while (SDL_PollEvent(&event));
        }
    }

    for (SaverScreen& screen : screens)
        screen.view->stopAnimation();
    queue.setWakeHook(nullptr);
    result.seconds = queue.now() - start;
    result.exitCode = next == Next::Fail ? kExitFailed : kExitOk;
    return result;
}

} // namespace zibbles::host

#include "hosts/saver/sdl/SdlLoop.h"

#include <SDL.h>

#include <cmath>
#include <iostream>

namespace zibbles::host {
namespace {

bool isQuitEvent(const SDL_Event& event, const SdlLoopSettings& settings) {
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

class SdlBackend final : public PresentBackend {
  public:
    SdlBackend(std::vector<SdlScreen>& screens, const SdlLoopSettings& settings)
        : screens_(screens), settings_(settings) {}

    std::size_t screenCount() const override { return screens_.size(); }
    ScreenParts screen(std::size_t i) override { return screens_[i].parts(); }
    // A window minimised or hidden by its window manager.
    bool seen(std::size_t i) override {
        return !(SDL_GetWindowFlags(screens_[i].window) &
                 (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
    }

    // SDL_WaitEventTimeout wakes for an event of the host's own type.
    std::function<void()> wakeHook() override {
        return [type = SDL_RegisterEvents(1)] {
            SDL_Event event{};
            event.type = type;
            SDL_PushEvent(&event);
        };
    }

    Next beforeFrame() override {
        return settings_.windowLost && settings_.windowLost() ? Next::Quit : Next::Continue;
    }

    Next wait(double seconds, bool) override {
        Next next = Next::Continue;
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, static_cast<int>(std::ceil(seconds * 1000.0)))) {
            do {
                if (next == Next::Continue)
                    next = handle(event);
            } while (SDL_PollEvent(&event));
        }
        return next;
    }

  private:
    SdlScreen* screenOf(std::uint32_t windowId) {
        for (SdlScreen& screen : screens_)
            if (SDL_GetWindowID(screen.window) == windowId)
                return &screen;
        return nullptr;
    }

    // A new size or lost pixels: the view follows the window's size in points, and the next
    // frame repaints everything.
    static bool windowChanged(SdlScreen& screen) {
        if (!screen.target->windowChanged())
            return false;
        const double scale = screen.target->scale();
        const auto& framebuffer = screen.target->framebuffer();
        screen.view->setFrameSize({static_cast<double>(framebuffer.width()) / scale,
                                   static_cast<double>(framebuffer.height()) / scale});
        screen.compositor.invalidate();
        return true;
    }

    Next handle(const SDL_Event& event) {
        if (isQuitEvent(event, settings_))
            return Next::Quit;
        if (event.type != SDL_WINDOWEVENT)
            return Next::Continue;
        SdlScreen* screen = screenOf(event.window.windowID);
        const auto what = event.window.event;
        if (!screen || (what != SDL_WINDOWEVENT_SIZE_CHANGED && what != SDL_WINDOWEVENT_EXPOSED))
            return Next::Continue;
        if (windowChanged(*screen))
            return Next::Continue;
        if (settings_.windowLost && settings_.windowLost())
            return Next::Quit; // the daemon took its window away mid-resize
        std::cerr << "zibbles: SDL_GetWindowSurface: " << SDL_GetError() << "\n";
        return Next::Fail;
    }

    std::vector<SdlScreen>& screens_;
    const SdlLoopSettings& settings_;
};

} // namespace

LoopResult runSdlLoop(platform::MainQueue& queue, std::vector<SdlScreen>& screens,
                      const SdlLoopSettings& settings, const volatile std::sig_atomic_t& quitFlag) {
    SdlBackend backend(screens, settings);
    return runPresentLoop(queue, backend, settings.refreshRate, settings.redraw, quitFlag);
}

} // namespace zibbles::host

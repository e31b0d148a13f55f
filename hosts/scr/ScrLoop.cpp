#include "hosts/scr/ScrLoop.h"

#include "platform/win32/DpiWin32.h"
#include "platform/win32/MessageWaitWin32.h"

#include <csignal>

namespace zibbles::host {

namespace {

using Next = PresentBackend::Next;

void tracePresent(platform::Trace* trace, std::size_t index,
                  const std::vector<platform::IntRect>& damage) {
    if (!trace)
        return;
    std::int64_t pixels = 0;
    for (const auto& rect : damage)
        pixels += rect.width * rect.height;
    trace->record("frame.presented", "\"screen\":" + std::to_string(index) +
                                         ",\"rects\":" + std::to_string(damage.size()) +
                                         ",\"pixels\":" + std::to_string(pixels));
}

class ScrBackend final : public PresentBackend {
  public:
    ScrBackend(std::vector<ScrScreen>& screens, platform::Trace* trace)
        : screens_(screens), trace_(trace) {}

    std::size_t screenCount() const override { return screens_.size(); }
    ScreenParts screen(std::size_t index) override {
        ScrScreen& screen = screens_[index];
        return {*screen.view, screen.compositor, *screen.target};
    }
    std::function<void()> wakeHook() override { return wake_.hook(); }

    Next beforeFrame() override {
        for (ScrScreen& screen : screens_) {
            if (screen.window->ended())
                return Next::Quit;
            screen.window->followParent();
            const auto dpi = screen.window->takeDpiChange();
            const SIZE size = screen.window->clientSize();
            const auto bounds = screen.target->deviceBounds();
            if (dpi || bounds.width != size.cx || bounds.height != size.cy)
                applyWindowShape(screen, size, dpi.value_or(screen.window->dpi()));
        }
        return Next::Continue;
    }

    void presented(std::size_t index, const std::vector<platform::IntRect>& damage) override {
        tracePresent(trace_, index, damage);
    }

    Next wait(double seconds, bool) override {
        return wake_.waitAndDispatch(seconds) ? Next::Continue : Next::Quit;
    }

  private:
    std::vector<ScrScreen>& screens_;
    platform::Trace* trace_;
    platform::MessageLoopWake wake_;
};

} // namespace

void applyWindowShape(ScrScreen& screen, SIZE pixels, unsigned dpi) {
    const double scale = platform::scaleOfDpi(dpi);
    const bool newScale = scale != screen.target->scale();
    const auto bounds = screen.target->deviceBounds();
    if (bounds.width != pixels.cx || bounds.height != pixels.cy)
        screen.target->resize(pixels.cx, pixels.cy);
    screen.target->setScale(scale);
    screen.viewWindow->setBackingScaleFactor(scale);
    screen.view->setFrameSize({pixels.cx / scale, pixels.cy / scale});
    if (newScale)
        screen.view->refreshSprite();
    screen.compositor.invalidate();
}

LoopResult runScrLoop(platform::MainQueue& queue, std::vector<ScrScreen>& screens,
                      platform::Trace* trace) {
    const volatile std::sig_atomic_t never = 0; // nothing but the windows ends this loop
    ScrBackend backend(screens, trace);
    return runPresentLoop(queue, backend, 60.0, Redraw::Damaged, never);
}

} // namespace zibbles::host

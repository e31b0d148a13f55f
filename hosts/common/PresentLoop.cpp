#include "hosts/common/PresentLoop.h"

#include "hosts/common/ExitCodes.h"
#include "hosts/common/LoopTiming.h"

#include <algorithm>

namespace zibbles::host {

double PresentBackend::frameAfter(const FrameGrid& grid, double planned, double now, bool) {
    return host::frameAfter(planned, now, grid.interval);
}

namespace {

bool anythingMoves(PresentBackend& backend, double t) {
    for (std::size_t i = 0; i < backend.screenCount(); ++i)
        if (backend.seen(i))
            for (const auto& layer : backend.screen(i).view.layer()->sublayers())
                if (layer->isAnimating(t))
                    return true;
    return false;
}

// Paints and shows what changed on every screen that can be seen. Gives true when anything was
// shown.
bool renderAll(PresentBackend& backend, double now, Redraw redraw) {
    bool shown = false;
    for (std::size_t i = 0; i < backend.screenCount(); ++i) {
        if (!backend.seen(i))
            continue;
        const ScreenParts screen = backend.screen(i);
        if (redraw == Redraw::FullFrame)
            screen.compositor.invalidate();
        const auto& damage = screen.compositor.render(*screen.view.layer(), now, screen.target);
        if (!damage.empty()) {
            backend.presented(i, damage);
            shown = true;
        }
    }
    return shown;
}

void forEachView(PresentBackend& backend, void (ZibblesBounceView::*verb)()) {
    for (std::size_t i = 0; i < backend.screenCount(); ++i)
        (backend.screen(i).view.*verb)();
}

} // namespace

LoopResult runPresentLoop(platform::MainQueue& queue, PresentBackend& backend, double refreshRate,
                          Redraw redraw, const volatile std::sig_atomic_t& quitFlag) {
    // The hook may refer to the backend: the queue guarantees no call of it once it is cleared
    // below.
    queue.setWakeHook(backend.wakeHook());
    forEachView(backend, &ZibblesBounceView::startAnimation);

    LoopResult result;
    const FrameGrid grid{queue.now(), 1.0 / std::clamp(refreshRate, 1.0, 1000.0)};
    double nextFrame = grid.start;
    using Next = PresentBackend::Next;
    Next next = Next::Continue;
    while (next == Next::Continue && !quitFlag) {
        next = backend.beforeFrame();
        if (next != Next::Continue)
            break;
        queue.runDueTasks();
        const double now = queue.now();
        const bool moving = anythingMoves(backend, now);
        // While something moves, frames keep to the grid. Otherwise every wake-up looks for
        // changes (a figure that arrived), which costs nothing when there are none.
        if (!moving || now >= nextFrame) {
            result.framesPresented += renderAll(backend, now, moving ? redraw : Redraw::Damaged);
            nextFrame = backend.frameAfter(grid, nextFrame, now, moving);
        }
        backend.afterFrame();
        next = backend.wait(secondsBeforeNextWake(queue, moving, nextFrame), moving);
    }

    forEachView(backend, &ZibblesBounceView::stopAnimation);
    queue.setWakeHook(nullptr);
    result.seconds = queue.now() - grid.start;
    result.exitCode = next == Next::Fail ? kExitFailed : kExitOk;
    return result;
}

} // namespace zibbles::host

#pragma once

// The saver's screens on Windows, run through the common presenting loop: the wait is the
// message loop's (woken by the main queue's posts), the present is GDI's, and a screen follows
// its window's DPI and size.

#include "hosts/common/PresentLoop.h"
#include "hosts/scr/ScrWindow.h"
#include "platform/Screen.h"
#include "platform/Trace.h"
#include "platform/win32/CompositorTargetGdi.h"

#include <memory>
#include <vector>

namespace zibbles::host {

// One view on one window. The view's Window carries the window's scale.
struct ScrScreen {
    std::unique_ptr<ScrWindow> window;
    std::shared_ptr<platform::Window> viewWindow;
    std::unique_ptr<platform::CompositorTargetGdi> target;
    std::shared_ptr<ZibblesBounceView> view;
    platform::Compositor compositor;
};

// Main thread only. Ends when an input ends the saver or a window (or the preview's parent) goes.
LoopResult runScrLoop(platform::MainQueue& queue, std::vector<ScrScreen>& screens,
                      platform::Trace* trace);

// A new DPI or size: the view follows in points, the sprite is drawn again at the new scale, and
// the next frame repaints everything. Exposed for tests.
void applyWindowShape(ScrScreen& screen, SIZE pixels, unsigned dpi);

} // namespace zibbles::host

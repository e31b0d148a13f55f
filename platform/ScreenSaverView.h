#pragma once

// The base class of a screen-saver view, driven by a host.
// Implemented features:
//  [X] Made with a frame and a preview flag, or from an archive (a record of the base's own
//      state); base initialisation fails (gives false) when the environment lacks a required
//      service or the frame is not finite or has a negative size.
//  [X] bounds (origin 0,0, the frame's size); the host may resize the view later.
//  [X] The animation time interval, setWantsLayer / layer (absent until wanted), window (absent
//      until the host puts the view in one), startAnimation / stopAnimation bookkeeping.
//  [ ] Per-frame drawing (drawRect / animateOneFrame): the view animates with layers only.
//  [ ] Configure sheets: the view has no settings.

#include "platform/Environment.h"
#include "platform/Geometry.h"
#include "platform/Layer.h"
#include "platform/Screen.h"

#include <memory>

namespace zibbles::platform {

// What an archived view keeps of the base's own state.
struct ViewArchive {
    Rect frame;
    bool isPreview = false;
};

// Main thread only, every member.
class ScreenSaverView : public std::enable_shared_from_this<ScreenSaverView> {
  public:
    virtual ~ScreenSaverView();

    Rect frame() const { return frame_; }
    Rect bounds() const { return {{0.0, 0.0}, frame_.size}; }
    // Host: the window or screen changed size. The backing layer, if any, follows.
    void setFrameSize(Size size);
    bool isPreview() const { return isPreview_; }

    double animationTimeInterval() const { return animationTimeInterval_; }
    void setAnimationTimeInterval(double seconds) { animationTimeInterval_ = seconds; }

    void setWantsLayer(bool wants);
    const std::shared_ptr<Layer>& layer() const { return layer_; }

    const std::shared_ptr<Window>& window() const { return window_; }
    // Host: the window the view is shown in (null: none).
    void setWindow(std::shared_ptr<Window> window) { window_ = std::move(window); }

    bool isAnimating() const { return isAnimating_; }
    virtual void startAnimation();
    virtual void stopAnimation();

    const Environment& environment() const { return environment_; }

  protected:
    explicit ScreenSaverView(Environment environment);
    // Base initialisers. False: the view must not be used.
    bool initWithFrame(Rect frame, bool isPreview);
    bool initWithCoder(const ViewArchive& archive);

  private:
    Environment environment_;
    Rect frame_;
    bool isPreview_ = false;
    double animationTimeInterval_ = 1.0 / 30.0;
    bool wantsLayer_ = false;
    std::shared_ptr<Layer> layer_;
    std::shared_ptr<Window> window_;
    bool isAnimating_ = false;
};

} // namespace zibbles::platform

#pragma once

// Implemented features:
//  [X] A basic animation of the key path "position": from, to, duration, linear timing.
//  [X] A weak delegate told when the animation ends (finished = true) or is removed or replaced
//      first (finished = false), always later on the main thread, through the run loop.
//  [ ] Other key paths, timing curves, repeat, autoreverse, fill modes: nothing uses them.

#include "platform/Geometry.h"

#include <memory>
#include <string>

namespace zibbles::platform {

class BasicAnimation;

class AnimationDelegate {
  public:
    virtual ~AnimationDelegate() = default;
    // Main thread only.
    virtual void animationDidStop(const BasicAnimation& animation, bool finished) = 0;
};

enum class TimingFunction { Linear };

class BasicAnimation {
  public:
    static std::shared_ptr<BasicAnimation> animationWithKeyPath(std::string keyPath) {
        return std::make_shared<BasicAnimation>(std::move(keyPath));
    }
    explicit BasicAnimation(std::string keyPath) : keyPath_(std::move(keyPath)) {}

    const std::string& keyPath() const { return keyPath_; }
    Point fromValue() const { return from_; }
    Point toValue() const { return to_; }
    double duration() const { return duration_; }
    TimingFunction timingFunction() const { return timing_; }
    std::shared_ptr<AnimationDelegate> delegate() const { return delegate_.lock(); }
    // Set by the layer when the animation is added: the clock time the animation starts at.
    double beginTime() const { return beginTime_; }

    void setFromValue(Point p) { from_ = p; }
    void setToValue(Point p) { to_ = p; }
    // Seconds. Below 0 counts as 0.
    void setDuration(double seconds) { duration_ = seconds; }
    void setTimingFunction(TimingFunction f) { timing_ = f; }
    void setDelegate(std::weak_ptr<AnimationDelegate> d) { delegate_ = std::move(d); }
    void setBeginTime(double t) { beginTime_ = t; }

    // The animated value at clock time t (clamped to the animation's span).
    Point valueAt(double t) const;

  private:
    std::string keyPath_;
    Point from_;
    Point to_;
    double duration_ = 0.25;
    TimingFunction timing_ = TimingFunction::Linear;
    std::weak_ptr<AnimationDelegate> delegate_;
    double beginTime_ = 0.0;
};

} // namespace zibbles::platform

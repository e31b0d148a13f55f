#pragma once

// Screens and windows, as far as a view needs them: the number of device pixels per point.
// Implemented features:
//  [X] backingScaleFactor of a window and of the main screen.
//  [X] A host sets them (from the display's scale) and may change them later.
//  [ ] Screen lists, frames, colour spaces: nothing uses them.

namespace zibbles::platform {

// What a window and a screen share: the device pixels per point a host gave them.
class BackingScale {
  public:
    explicit BackingScale(double backingScaleFactor) : scale_(backingScaleFactor) {}
    double backingScaleFactor() const { return scale_; }
    void setBackingScaleFactor(double s) { scale_ = s; }

  private:
    double scale_;
};

// Distinct types, because a view asks its window first and the main screen only without one.
class Window : public BackingScale {
  public:
    explicit Window(double backingScaleFactor = 1.0) : BackingScale(backingScaleFactor) {}
};

class Screen : public BackingScale {
  public:
    explicit Screen(double backingScaleFactor = 1.0) : BackingScale(backingScaleFactor) {}
};

} // namespace zibbles::platform

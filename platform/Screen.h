#pragma once

// Screens and windows, as far as a view needs them: the number of device pixels per point.
// Implemented features:
//  [X] backingScaleFactor of a window and of the main screen.
//  [X] A host sets them (from the display's scale) and may change them later.
//  [ ] Screen lists, frames, colour spaces: nothing uses them.

namespace zibbles::platform {

class Window {
  public:
    explicit Window(double backingScaleFactor = 1.0) : scale_(backingScaleFactor) {}
    double backingScaleFactor() const { return scale_; }
    void setBackingScaleFactor(double s) { scale_ = s; }

  private:
    double scale_;
};

class Screen {
  public:
    explicit Screen(double backingScaleFactor = 1.0) : scale_(backingScaleFactor) {}
    double backingScaleFactor() const { return scale_; }
    void setBackingScaleFactor(double s) { scale_ = s; }

  private:
    double scale_;
};

} // namespace zibbles::platform

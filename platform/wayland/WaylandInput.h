#pragma once

// What a saver needs of a Wayland seat: that a key, a button or a touch went down, or that the
// pointer moved, and on which surface.
// Implemented features:
//  [X] Keyboard, pointer and touch as the seat's capabilities come and go.
//  [X] Key presses with their evdev code (linux/input-event-codes.h: 1 is Escape on every
//      physical keyboard). No keymap is read: a saver only needs to know that a key went down,
//      and which one for Escape.
//  [X] Pointer moves as the distance from where the pointer entered the surface, so a host can
//      ignore a jitter of a few points.
//  [X] The pointer's image hidden over the saver's surfaces when asked.
//  [ ] Key repeat, modifiers, scrolling, touch motion: a saver quits on the first input anyway.

#include <cstdint>
#include <functional>

struct wl_keyboard;
struct wl_pointer;
struct wl_touch;
struct wl_surface;

namespace zibbles::platform {

class WaylandConnection;

enum class WaylandInputKind { KeyPressed, ButtonPressed, TouchDown, PointerMoved };

struct WaylandInputEvent {
    WaylandInputKind kind = WaylandInputKind::KeyPressed;
    std::uint32_t key = 0;         // KeyPressed: the evdev code
    double distance = 0.0;         // PointerMoved: points from where the pointer entered
    wl_surface* surface = nullptr; // the surface with the focus, when known
};

enum class PointerImage { Shown, Hidden };

// Main thread only.
class WaylandInput {
  public:
    using Listener = std::function<void(const WaylandInputEvent&)>;
    // Listens to the connection's seat (none: no input). The connection must outlive this.
    WaylandInput(WaylandConnection& connection, PointerImage image, Listener listener);
    ~WaylandInput();
    WaylandInput(const WaylandInput&) = delete;
    WaylandInput& operator=(const WaylandInput&) = delete;

    // For the listeners.
    void capabilities(std::uint32_t capabilities);
    void emit(const WaylandInputEvent& event) { listener_(event); }
    void pointerEntered(wl_pointer* pointer, std::uint32_t serial, wl_surface* surface, double x,
                        double y);
    void pointerMoved(double x, double y);
    void keyboardEntered(wl_surface* surface) { keyboardFocus_ = surface; }
    wl_surface* keyboardFocus() const { return keyboardFocus_; }

  private:
    WaylandConnection& connection_;
    PointerImage image_;
    Listener listener_;
    wl_keyboard* keyboard_ = nullptr;
    wl_pointer* pointer_ = nullptr;
    wl_touch* touch_ = nullptr;
    wl_surface* keyboardFocus_ = nullptr;
    wl_surface* pointerFocus_ = nullptr;
    double enteredX_ = 0.0; // points, surface-local
    double enteredY_ = 0.0;
};

} // namespace zibbles::platform

#include "platform/wayland/WaylandInput.h"

#include "platform/wayland/WaylandConnection.h"

#include <wayland-client.h>

#include <cmath>
#include <unistd.h>

namespace zibbles::platform {
namespace {

WaylandInput& inputOf(void* data) {
    return *static_cast<WaylandInput*>(data);
}

void onKeymap(void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t) {
    close(fd);
}
void onKeyboardEnter(void* data, wl_keyboard*, std::uint32_t, wl_surface* surface, wl_array*) {
    inputOf(data).keyboardEntered(surface);
}
void onKeyboardLeave(void* data, wl_keyboard*, std::uint32_t, wl_surface*) {
    inputOf(data).keyboardEntered(nullptr);
}
void onKey(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
           std::uint32_t state) {
    if (state == WL_KEYBOARD_KEY_STATE_PRESSED)
        inputOf(data).emit({WaylandInputKind::KeyPressed, key, 0.0, inputOf(data).keyboardFocus()});
}
void onModifiers(void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
                 std::uint32_t) {}
void onRepeatInfo(void*, wl_keyboard*, std::int32_t, std::int32_t) {}
const wl_keyboard_listener kKeyboardListener{onKeymap, onKeyboardEnter, onKeyboardLeave,
                                             onKey,    onModifiers,     onRepeatInfo};

void onPointerEnter(void* data, wl_pointer* pointer, std::uint32_t serial, wl_surface* surface,
                    wl_fixed_t x, wl_fixed_t y) {
    inputOf(data).pointerEntered(pointer, serial, surface, wl_fixed_to_double(x),
                                 wl_fixed_to_double(y));
}
void onPointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void onMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
    inputOf(data).pointerMoved(wl_fixed_to_double(x), wl_fixed_to_double(y));
}
void onButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t,
              std::uint32_t state) {
    if (state == WL_POINTER_BUTTON_STATE_PRESSED)
        inputOf(data).emit({WaylandInputKind::ButtonPressed, 0, 0.0, nullptr});
}
void onAxis(void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {}
void onFrame(void*, wl_pointer*) {}
void onAxisSource(void*, wl_pointer*, std::uint32_t) {}
void onAxisStop(void*, wl_pointer*, std::uint32_t, std::uint32_t) {}
void onAxisDiscrete(void*, wl_pointer*, std::uint32_t, std::int32_t) {}
// The seat is bound at version 5: later versions' events (axis_value120, touch shape and
// orientation) never come.
const wl_pointer_listener kPointerListener{onPointerEnter, onPointerLeave, onMotion,     onButton,
                                           onAxis,         onFrame,        onAxisSource, onAxisStop,
                                           onAxisDiscrete, nullptr};

void onTouchDown(void* data, wl_touch*, std::uint32_t, std::uint32_t, wl_surface* surface,
                 std::int32_t, wl_fixed_t, wl_fixed_t) {
    inputOf(data).emit({WaylandInputKind::TouchDown, 0, 0.0, surface});
}
void onTouchUp(void*, wl_touch*, std::uint32_t, std::uint32_t, std::int32_t) {}
void onTouchMotion(void*, wl_touch*, std::uint32_t, std::int32_t, wl_fixed_t, wl_fixed_t) {}
void onTouchFrame(void*, wl_touch*) {}
void onTouchCancel(void*, wl_touch*) {}
const wl_touch_listener kTouchListener{onTouchDown,   onTouchUp, onTouchMotion, onTouchFrame,
                                       onTouchCancel, nullptr,   nullptr};

} // namespace

WaylandInput::WaylandInput(WaylandConnection& connection, PointerImage image, Listener listener)
    : connection_(connection), image_(image), listener_(std::move(listener)) {
    capabilities(connection.seatCapabilities());
    connection.setSeatCapabilitiesHook([this](std::uint32_t now) { capabilities(now); });
}

WaylandInput::~WaylandInput() {
    connection_.setSeatCapabilitiesHook(nullptr);
    capabilities(0);
}

// Devices are released with the request their version allows (release came in wl_seat 3).
void WaylandInput::capabilities(std::uint32_t capabilities) {
    wl_seat* seat = connection_.seat();
    if (!seat)
        return;
    const bool modern = wl_seat_get_version(seat) >= 3;
    if ((capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && !keyboard_) {
        keyboard_ = wl_seat_get_keyboard(seat);
        wl_keyboard_add_listener(keyboard_, &kKeyboardListener, this);
    } else if (!(capabilities & WL_SEAT_CAPABILITY_KEYBOARD) && keyboard_) {
        modern ? wl_keyboard_release(keyboard_) : wl_keyboard_destroy(keyboard_);
        keyboard_ = nullptr;
        keyboardFocus_ = nullptr;
    }
    if ((capabilities & WL_SEAT_CAPABILITY_POINTER) && !pointer_) {
        pointer_ = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(pointer_, &kPointerListener, this);
    } else if (!(capabilities & WL_SEAT_CAPABILITY_POINTER) && pointer_) {
        modern ? wl_pointer_release(pointer_) : wl_pointer_destroy(pointer_);
        pointer_ = nullptr;
        pointerFocus_ = nullptr;
    }
    if ((capabilities & WL_SEAT_CAPABILITY_TOUCH) && !touch_) {
        touch_ = wl_seat_get_touch(seat);
        wl_touch_add_listener(touch_, &kTouchListener, this);
    } else if (!(capabilities & WL_SEAT_CAPABILITY_TOUCH) && touch_) {
        modern ? wl_touch_release(touch_) : wl_touch_destroy(touch_);
        touch_ = nullptr;
    }
}

void WaylandInput::pointerEntered(wl_pointer* pointer, std::uint32_t serial, wl_surface* surface,
                                  double x, double y) {
    pointerFocus_ = surface;
    enteredX_ = x;
    enteredY_ = y;
    if (image_ == PointerImage::Hidden)
        wl_pointer_set_cursor(pointer, serial, nullptr, 0, 0);
}

void WaylandInput::pointerMoved(double x, double y) {
    const double distance = std::hypot(x - enteredX_, y - enteredY_);
    emit({WaylandInputKind::PointerMoved, 0, distance, pointerFocus_});
}

} // namespace zibbles::platform

#include "hosts/saver/wayland/WaylandQuitRules.h"

namespace zibbles::host {

bool isQuitInput(const platform::WaylandInputEvent& event, QuitOn quitOn) {
    using Kind = platform::WaylandInputKind;
    if (quitOn == QuitOn::WindowGone)
        return false;
    const bool anyInput = quitOn == QuitOn::AnyInput;
    switch (event.kind) {
    case Kind::KeyPressed:
        return anyInput || event.key == kEvdevEscape;
    case Kind::ButtonPressed:
    case Kind::TouchDown:
        return anyInput;
    case Kind::PointerMoved:
        return anyInput && event.distance > kPointerSlackPoints;
    }
    return false;
}

} // namespace zibbles::host

// Which Wayland input ends the saver, in each of the host's modes.

#include "hosts/saver/wayland/WaylandQuitRules.h"

#include <gtest/gtest.h>

namespace zibbles::host {
namespace {

using platform::WaylandInputEvent;
using Kind = platform::WaylandInputKind;

TEST(WaylandQuitRules, EachInputInEachMode) {
    const WaylandInputEvent escape{Kind::KeyPressed, kEvdevEscape, 0.0, nullptr};
    const WaylandInputEvent space{Kind::KeyPressed, 57, 0.0, nullptr};
    const WaylandInputEvent click{Kind::ButtonPressed, 0, 0.0, nullptr};
    const WaylandInputEvent touch{Kind::TouchDown, 0, 0.0, nullptr};
    const WaylandInputEvent jitter{Kind::PointerMoved, 0, kPointerSlackPoints, nullptr};
    const WaylandInputEvent move{Kind::PointerMoved, 0, kPointerSlackPoints + 0.5, nullptr};
    struct Case {
        const char* what;
        WaylandInputEvent event;
        bool window;     // QuitOn::EscapeOrClose
        bool fullscreen; // QuitOn::AnyInput
    };
    const Case cases[] = {
        {"Escape", escape, true, true},
        {"another key", space, false, true},
        {"a click", click, false, true},
        {"a touch", touch, false, true},
        {"a jitter of the pointer", jitter, false, false},
        {"a pointer move past the slack", move, false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isQuitInput(c.event, QuitOn::EscapeOrClose), c.window) << c.what;
        EXPECT_EQ(isQuitInput(c.event, QuitOn::AnyInput), c.fullscreen) << c.what;
        EXPECT_FALSE(isQuitInput(c.event, QuitOn::WindowGone)) << c.what;
    }
}

} // namespace
} // namespace zibbles::host

#pragma once

// Which input ends the saver. Full screen, any key, click or wheel turn ends it, and so does the
// pointer moving more than a few points from where it first stood (a desk that shakes, a sensor's
// noise, and the move the system makes as the window appears end nothing). The preview belongs to
// the dialog that shows it: no input ends it.

#include "hosts/scr/ScrArguments.h"

namespace zibbles::host {

enum class ScrInputKind { Key, Button, Wheel, PointerMoved };

struct ScrInput {
    ScrInputKind kind = ScrInputKind::Key;
    // PointerMoved: how far the pointer stands from where it was first seen, in device pixels.
    double dx = 0.0;
    double dy = 0.0;
};

constexpr double kPointerSlackPoints = 4.0;

// scale: device pixels per point of the window the input came to.
bool endsTheSaver(const ScrInput& input, ScrMode mode, double scale);

} // namespace zibbles::host

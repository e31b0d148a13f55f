#include "hosts/scr/ScrInputRules.h"

#include <cmath>

namespace zibbles::host {

bool endsTheSaver(const ScrInput& input, ScrMode mode, double scale) {
    if (mode != ScrMode::FullScreen)
        return false;
    if (input.kind != ScrInputKind::PointerMoved)
        return true;
    const double points = std::hypot(input.dx, input.dy) / (scale > 0.0 ? scale : 1.0);
    return points > kPointerSlackPoints;
}

} // namespace zibbles::host

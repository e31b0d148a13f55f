#include "platform/Animation.h"

namespace zibbles::platform {

Point BasicAnimation::valueAt(double t) const {
    // A duration that is negative or not a number counts as 0: the animation is at its end.
    const double duration = duration_ > 0.0 ? duration_ : 0.0;
    const double elapsed = t - beginTime_;
    if (!(elapsed < duration)) {
        return to_;
    }
    if (!(elapsed > 0.0)) {
        return from_;
    }
    const double fraction = elapsed / duration;
    return {from_.x + (to_.x - from_.x) * fraction, from_.y + (to_.y - from_.y) * fraction};
}

} // namespace zibbles::platform

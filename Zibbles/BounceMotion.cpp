#include "Zibbles/LegAnimation.h"
#include "Zibbles/ZibblesBounceView.h"

namespace zibbles {

// Main thread only. Plans the leg from position to the first wall ahead and hands it to the
// layer; the layer calls back when it ends. No leg (too small a view, zero velocity) means the
// motion stays stopped until the next startAnimation.
void ZibblesBounceView::startNextLeg() {
    if (!isRunning) {
        return;
    }
    const double s = spriteSize;
    const auto plan = planLeg(bounds().size.width, bounds().size.height, s, position, velocity);
    if (!plan) {
        return;
    }
    legTarget = plan->target;
    const Point endCentre{plan->target.x + 0.5 * s, plan->target.y + 0.5 * s};

    auto animation = platform::BasicAnimation::animationWithKeyPath(legAnimationKeyPath);
    // The model position, read before it moves to the end below.
    animation->setFromValue(spriteLayer->position());
    animation->setToValue(endCentre);
    animation->setDuration(plan->duration);
    animation->setTimingFunction(platform::TimingFunction::Linear);
    animation->setDelegate(std::static_pointer_cast<ZibblesBounceView>(shared_from_this()));
    {
        platform::Transaction transaction;
        transaction.setDisableActions(true);
        spriteLayer->setPosition(endCentre);
    }
    spriteLayer->addAnimation(animation, legAnimationKey);
}

// Main thread only. A leg reached its wall: bounce, show the next figure, refill, go on.
void ZibblesBounceView::legFinished() {
    if (!isRunning || !legTarget) {
        return;
    }
    position = *legTarget;
    velocity =
        reflectVelocity(bounds().size.width, bounds().size.height, spriteSize, position, velocity);
    swapFigure();
    topUpQueue();
    startNextLeg();
}

// Main thread only. The oldest queued figure replaces the one shown; with none queued, the next
// one to arrive is shown at once instead (finishFetch reads wantsSwap).
void ZibblesBounceView::swapFigure() {
    if (queue.empty()) {
        wantsSwap = true;
        return;
    }
    current = std::move(queue.front());
    queue.pop_front();
    refreshSprite();
}

} // namespace zibbles

#include "platform/Layer.h"

#include "platform/MainQueue.h"
#include "platform/Trace.h"

#include <cassert>

// The layer's keyed animations: adding, replacing, removing, ending, and what they show.

namespace zibbles::platform {

namespace {

std::string pointJson(Point p) {
    return "{\"x\":" + Trace::number(p.x) + ",\"y\":" + Trace::number(p.y) + "}";
}

// Seconds; negative or not a number counts as 0.
double safeDuration(const BasicAnimation& animation) {
    return animation.duration() > 0.0 ? animation.duration() : 0.0;
}

bool runningAt(const BasicAnimation& animation, double t) {
    return t < animation.beginTime() + safeDuration(animation);
}

} // namespace

void Layer::addAnimation(std::shared_ptr<BasicAnimation> animation, const std::string& key) {
    assert(animation && "addAnimation needs an animation");
    assert(queue_ && "a layer with animations needs a main queue");
    if (!animation || !queue_) {
        return;
    }
    // The layer keeps its own copy, so a caller that reuses or changes its object afterwards
    // does not move an animation already running.
    auto running = std::make_shared<BasicAnimation>(*animation);
    running->setBeginTime(queue_->now());
    const std::uint64_t generation = nextGeneration_++;

    auto existing = animations_.find(key);
    if (existing != animations_.end()) {
        auto replaced = std::move(existing->second.animation);
        animations_.erase(existing);
        traceEnded(key, false);
        finishLater(std::move(replaced), false);
    }
    animations_[key] = Running{running, generation};
    touched();
    if (trace_) {
        trace_->record("animation.added",
                       "\"layer\":" + std::to_string(traceId_) + ",\"key\":" + Trace::quote(key) +
                           ",\"from\":" + pointJson(running->fromValue()) +
                           ",\"to\":" + pointJson(running->toValue()) +
                           ",\"duration\":" + Trace::number(safeDuration(*running)));
    }
    // The timer holds the layer weakly: a layer released before the end hears nothing more.
    std::weak_ptr<Layer> weakLayer = weak_from_this();
    queue_->asyncAfter(safeDuration(*running), [weakLayer, key, generation] {
        if (auto layer = weakLayer.lock()) {
            layer->onEndTimer(key, generation);
        }
    });
}

void Layer::removeAnimationForKey(const std::string& key) {
    auto existing = animations_.find(key);
    if (existing == animations_.end()) {
        return;
    }
    auto removed = std::move(existing->second.animation);
    animations_.erase(existing);
    touched();
    traceEnded(key, false);
    finishLater(std::move(removed), false);
}

std::shared_ptr<const BasicAnimation> Layer::animationForKey(const std::string& key) const {
    auto existing = animations_.find(key);
    if (existing == animations_.end()) {
        return nullptr;
    }
    return existing->second.animation;
}

void Layer::finishLater(std::shared_ptr<BasicAnimation> animation, bool finished) {
    // Never inline: the caller may be in the middle of changing the very state the delegate
    // reads, as a view is when it replaces its own leg.
    queue_->async([animation = std::move(animation), finished] {
        if (auto delegate = animation->delegate()) {
            delegate->animationDidStop(*animation, finished);
        }
    });
}

void Layer::onEndTimer(const std::string& key, std::uint64_t generation) {
    auto existing = animations_.find(key);
    // A timer of an animation already replaced or removed: that one has been told.
    if (existing == animations_.end() || existing->second.generation != generation) {
        return;
    }
    auto ended = std::move(existing->second.animation);
    animations_.erase(existing);
    touched();
    traceEnded(key, true);
    // Already on the run loop, at the end time: tell the delegate now, with the entry gone, so
    // that it may add the next animation under the same key.
    if (auto delegate = ended->delegate()) {
        delegate->animationDidStop(*ended, true);
    }
}

void Layer::traceEnded(const std::string& key, bool finished) const {
    if (trace_) {
        trace_->record("animation.ended", "\"layer\":" + std::to_string(traceId_) +
                                              ",\"key\":" + Trace::quote(key) +
                                              ",\"finished\":" + (finished ? "true" : "false"));
    }
}

Point Layer::presentationPosition(double t) const {
    const BasicAnimation* shown = nullptr;
    std::uint64_t newest = 0;
    for (const auto& [key, running] : animations_) {
        if (running.animation->keyPath() == "position" && running.generation > newest &&
            runningAt(*running.animation, t)) {
            shown = running.animation.get();
            newest = running.generation;
        }
    }
    return shown != nullptr ? shown->valueAt(t) : position_;
}

Rect Layer::presentationFrame(double t) const {
    const Point p = presentationPosition(t);
    const Size size = bounds_.size;
    return {{p.x - anchorPoint_.x * size.width, p.y - anchorPoint_.y * size.height}, size};
}

bool Layer::isAnimating(double t) const {
    for (const auto& [key, running] : animations_) {
        if (runningAt(*running.animation, t)) {
            return true;
        }
    }
    return false;
}

} // namespace zibbles::platform

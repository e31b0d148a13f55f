#include "platform/Layer.h"

#include "platform/MainQueue.h"
#include "platform/Trace.h"

#include <cassert>

namespace zibbles::platform {

std::shared_ptr<Layer> Layer::make(std::shared_ptr<MainQueue> queue, std::shared_ptr<Trace> trace) {
    return std::make_shared<Layer>(std::move(queue), std::move(trace));
}

Layer::Layer(std::shared_ptr<MainQueue> queue, std::shared_ptr<Trace> trace)
    : queue_(std::move(queue)), trace_(std::move(trace)) {
    if (trace_) {
        traceId_ = trace_->nextLayerId();
    }
}

// Animations still running are dropped without a callback: their end timers hold the layer
// weakly and find it gone.
Layer::~Layer() = default;

void Layer::setBounds(Rect r) {
    bounds_ = r;
    touched();
}

void Layer::setAnchorPoint(Point p) {
    anchorPoint_ = p;
    touched();
}

void Layer::setPosition(Point p) {
    position_ = p;
    touched();
}

void Layer::setContents(ImageRef image) {
    contents_ = std::move(image);
    touched();
    if (trace_) {
        const std::int64_t width = contents_ ? contents_->width() : 0;
        const std::int64_t height = contents_ ? contents_->height() : 0;
        trace_->record("contents.set", "\"layer\":" + std::to_string(traceId_) +
                                           ",\"width\":" + std::to_string(width) +
                                           ",\"height\":" + std::to_string(height) +
                                           ",\"scale\":" + Trace::number(contentsScale_));
    }
}

void Layer::setContentsScale(double s) {
    contentsScale_ = s;
    touched();
}

void Layer::setContentsGravity(ContentsGravity g) {
    gravity_ = g;
    touched();
}

void Layer::setMagnificationFilter(MagnificationFilter f) {
    magnification_ = f;
    touched();
}

void Layer::setBackgroundColor(std::optional<Color> c) {
    background_ = c;
    touched();
}

void Layer::addSublayer(std::shared_ptr<Layer> layer) {
    assert(layer && "addSublayer needs a layer");
    assert(layer.get() != this && "a layer cannot be its own sublayer");
    if (!layer || layer.get() == this) {
        return;
    }
    for (const auto& existing : sublayers_) {
        if (existing == layer) {
            return;
        }
    }
    sublayers_.push_back(std::move(layer));
    touched();
}

// Nothing to begin or commit: model changes apply at once and never animate implicitly.
Transaction::Transaction() = default;
Transaction::~Transaction() = default;

} // namespace zibbles::platform

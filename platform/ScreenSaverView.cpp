#include "platform/ScreenSaverView.h"

#include <cmath>

namespace zibbles::platform {

namespace {

bool isUsableFrame(Rect frame) {
    return std::isfinite(frame.origin.x) && std::isfinite(frame.origin.y) &&
           std::isfinite(frame.size.width) && std::isfinite(frame.size.height) &&
           frame.size.width >= 0.0 && frame.size.height >= 0.0;
}

// The backing layer covers the view: its bounds are the view's, its centre the view's centre.
void fitToView(Layer& layer, Rect bounds) {
    layer.setBounds(bounds);
    layer.setAnchorPoint({0.5, 0.5});
    layer.setPosition({0.5 * bounds.size.width, 0.5 * bounds.size.height});
}

} // namespace

ScreenSaverView::ScreenSaverView(Environment environment) : environment_(std::move(environment)) {}

ScreenSaverView::~ScreenSaverView() = default;

bool ScreenSaverView::initWithFrame(Rect frame, bool isPreview) {
    if (!environment_.mainQueue || !environment_.random || !isUsableFrame(frame)) {
        return false;
    }
    frame_ = frame;
    isPreview_ = isPreview;
    return true;
}

bool ScreenSaverView::initWithCoder(const ViewArchive& archive) {
    return initWithFrame(archive.frame, archive.isPreview);
}

void ScreenSaverView::setFrameSize(Size size) {
    frame_.size = size;
    if (layer_) {
        fitToView(*layer_, bounds());
    }
}

void ScreenSaverView::setWantsLayer(bool wants) {
    wantsLayer_ = wants;
    if (!wants) {
        layer_.reset();
        return;
    }
    if (!layer_ && environment_.mainQueue) {
        layer_ = Layer::make(environment_.mainQueue, environment_.trace);
        fitToView(*layer_, bounds());
    }
}

void ScreenSaverView::startAnimation() {
    isAnimating_ = true;
}

void ScreenSaverView::stopAnimation() {
    isAnimating_ = false;
}

} // namespace zibbles::platform

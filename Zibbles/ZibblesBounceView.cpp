#include "Zibbles/ZibblesBounceView.h"

#include "Zibbles/LegAnimation.h"

#include <algorithm>

namespace zibbles {

namespace {

// The host's frame timer, seconds. The view adds no per-frame work of its own.
constexpr double frameInterval = 1.0 / 60.0;
// The sprite's side is this share of the view's height: an eighth, enlarged by a tenth.
constexpr double spriteShareOfHeight = 0.125;
constexpr double spriteEnlargement = 1.1;
// The speed on each axis is the height over this, per second: about 9 s to cross the height.
constexpr double heightsPerSpeed = 10.41;
constexpr double minimumSpeed = 1.0; // points per second
// A start range narrower than this still gets a random start inside it.
constexpr double minimumStartRange = 1.0; // points

} // namespace

std::shared_ptr<ZibblesBounceView>
ZibblesBounceView::initWithFrame(const platform::Environment& env, platform::Rect frame,
                                 bool isPreview) {
    auto view = std::make_shared<ZibblesBounceView>(env);
    if (!view->ScreenSaverView::initWithFrame(frame, isPreview)) {
        return nullptr;
    }
    view->commonInit();
    return view;
}

std::shared_ptr<ZibblesBounceView>
ZibblesBounceView::initWithCoder(const platform::Environment& env,
                                 const platform::ViewArchive& archive) {
    auto view = std::make_shared<ZibblesBounceView>(env);
    if (!view->ScreenSaverView::initWithCoder(archive)) {
        return nullptr;
    }
    view->commonInit();
    return view;
}

ZibblesBounceView::ZibblesBounceView(const platform::Environment& env)
    : ScreenSaverView(env), spriteLayer(platform::Layer::make(env.mainQueue, env.trace)) {}

// Releases the layers, the figures and the tasks; cancels nothing. A fetch still under way
// completes later, finds the view gone and does nothing.
ZibblesBounceView::~ZibblesBounceView() = default;

// Main thread only. Both initialisers end here, after the base has taken the frame.
void ZibblesBounceView::commonInit() {
    setAnimationTimeInterval(frameInterval);
    const double width = bounds().size.width;
    const double height = bounds().size.height;
    spriteSize = height * spriteShareOfHeight * spriteEnlargement;

    setWantsLayer(true);
    if (layer()) {
        layer()->setBackgroundColor(platform::Color::white(backgroundWhite, 1.0));
    }
    spriteLayer->setBounds({{0.0, 0.0}, {spriteSize, spriteSize}});
    spriteLayer->setAnchorPoint({0.5, 0.5});
    spriteLayer->setMagnificationFilter(platform::MagnificationFilter::Nearest);
    spriteLayer->setContentsGravity(platform::ContentsGravity::Resize);
    if (layer()) {
        layer()->addSublayer(spriteLayer);
    }

    // The draws come in a fixed order (x, y, horizontal, vertical) so a seeded run repeats.
    platform::RandomSource& random = *environment().random;
    const double x = random.uniform(0.0, std::max(width - spriteSize, minimumStartRange));
    const double y = random.uniform(0.0, std::max(height - spriteSize, minimumStartRange));
    position = {x, y};
    spriteLayer->setPosition({x + 0.5 * spriteSize, y + 0.5 * spriteSize});

    const double speed = std::max(height / heightsPerSpeed, minimumSpeed);
    const double horizontal = random.coin() ? speed : -speed;
    const double vertical = random.coin() ? speed : -speed;
    velocity = {horizontal, vertical};

    topUpQueue();
}

// Main thread only.
void ZibblesBounceView::startAnimation() {
    ScreenSaverView::startAnimation();
    isRunning = true;
    startNextLeg();
}

// Main thread only. The figure and the queued figures stay; only the fetches under way go.
void ZibblesBounceView::stopAnimation() {
    ScreenSaverView::stopAnimation();
    isRunning = false;
    spriteLayer->removeAnimationForKey(legAnimationKey);
    for (const auto& [tokenId, task] : inflightTasks) {
        if (task) {
            task->cancel();
        }
    }
    inflightTasks = {};
    pending = {};
}

// Main thread only. Removed or replaced legs (finished = false) are ignored.
void ZibblesBounceView::animationDidStop(const platform::BasicAnimation&, bool finished) {
    if (!finished) {
        return;
    }
    legFinished();
}

void registerZibblesBounceView(platform::ViewRegistry& registry) {
    registry.registerClass(
        ZibblesBounceView::className,
        [](const platform::Environment& env, platform::Rect frame, bool isPreview) {
            return std::shared_ptr<platform::ScreenSaverView>(
                ZibblesBounceView::initWithFrame(env, frame, isPreview));
        },
        [](const platform::Environment& env, const platform::ViewArchive& archive) {
            return std::shared_ptr<platform::ScreenSaverView>(
                ZibblesBounceView::initWithCoder(env, archive));
        });
}

} // namespace zibbles

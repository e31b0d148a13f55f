#include "Zibbles/ZibblesBounceView.h"
#include "platform/ViewRegistry.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

namespace zibbles {
namespace {

using platform::Rect;
using testing::makeTestEnvironment;
using testing::ScriptedRandom;
using testing::TestEnvironment;
using testing::TraceSink;

constexpr double fullWidth = 1920;
constexpr double fullHeight = 1080;
const double fullSpeed = 1080 / 10.41;

std::shared_ptr<ZibblesBounceView> makeView(const TestEnvironment& test, double width,
                                            double height) {
    return ZibblesBounceView::initWithFrame(test.environment, Rect{{0, 0}, {width, height}}, false);
}

Point centreOf(const ZibblesBounceView& view, Point corner) {
    return {corner.x + 0.5 * view.spriteSize, corner.y + 0.5 * view.spriteSize};
}

// Puts a made view at a known start, as commonInit would have, so legs can be checked exactly.
void placeAt(ZibblesBounceView& view, Point corner, Size velocity) {
    view.position = corner;
    view.velocity = velocity;
    view.spriteLayer->setPosition(centreOf(view, corner));
}

class BounceView : public ::testing::Test {
  protected:
    TestEnvironment test = makeTestEnvironment(7, TraceSink::InMemory);
    std::shared_ptr<ZibblesBounceView> view = makeView(test, fullWidth, fullHeight);
    std::shared_ptr<const platform::BasicAnimation> leg() const {
        return view->spriteLayer->animationForKey("leg");
    }
};

TEST(BounceViewSizing, sizesItselfFromItsHeight) {
    const struct {
        const char* name;
        double width, height;
        double spriteSize;
        double speed;
    } cases[] = {
        {"full screen", 1920, 1080, 148.5, 1080 / 10.41},
        {"preview", 296, 184, 184 * 0.125 * 1.1, 184 / 10.41},
        {"short: speed floor", 300, 8, 1.1, 1.0},
        {"zero frame", 0, 0, 0, 1.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto test = makeTestEnvironment(3);
        auto view = makeView(test, c.width, c.height);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->spriteSize, c.spriteSize);
        EXPECT_EQ(std::abs(view->velocity.width), c.speed);
        EXPECT_EQ(std::abs(view->velocity.height), c.speed) << "always a 45-degree diagonal";
        EXPECT_GE(view->position.x, 0.0);
        EXPECT_LE(view->position.x, std::max(c.width - c.spriteSize, 1.0));
        EXPECT_GE(view->position.y, 0.0);
        EXPECT_LE(view->position.y, std::max(c.height - c.spriteSize, 1.0));
        EXPECT_EQ(view->spriteLayer->position(), centreOf(*view, view->position));
        EXPECT_EQ(view->animationTimeInterval(), 1.0 / 60.0);
        EXPECT_FALSE(view->isRunning);
        EXPECT_FALSE(view->legTarget.has_value());
    }
    EXPECT_NEAR(fullSpeed, 103.746, 1e-3);
}

TEST(BounceViewSizing, aZeroFrameNeverStartsALeg) {
    auto test = makeTestEnvironment(3);
    auto view = makeView(test, 0, 0);
    view->startAnimation();
    EXPECT_TRUE(view->isRunning);
    EXPECT_EQ(view->spriteLayer->animationForKey("leg"), nullptr);
    // A stray finished callback before any leg was planned changes nothing.
    view->animationDidStop(platform::BasicAnimation("position"), true);
    EXPECT_FALSE(view->legTarget.has_value());
    test.advanceBy(60);
    EXPECT_EQ(view->spriteLayer->animationForKey("leg"), nullptr);
}

TEST(BounceViewSizing, drawsXThenYThenTheHorizontalThenTheVerticalCoin) {
    auto test = makeTestEnvironment();
    test.environment.random = std::make_shared<ScriptedRandom>(std::vector<double>{0.25, 1.0},
                                                               std::vector<bool>{false, true});
    auto view = makeView(test, fullWidth, fullHeight);
    EXPECT_EQ(view->position, (Point{0.25 * 1771.5, 931.5}));
    EXPECT_EQ(view->velocity, (Size{-fullSpeed, fullSpeed}));
}

TEST(BounceViewSizing, setsUpTheBackgroundAndTheSpriteLayer) {
    auto test = makeTestEnvironment();
    auto view = makeView(test, fullWidth, fullHeight);
    ASSERT_NE(view->layer(), nullptr);
    EXPECT_EQ(view->layer()->backgroundColor(), platform::Color::white(0.1, 1.0));
    ASSERT_EQ(view->layer()->sublayers().size(), 1u);
    EXPECT_EQ(view->layer()->sublayers()[0], view->spriteLayer);
    EXPECT_EQ(view->spriteLayer->bounds(), (Rect{{0, 0}, {148.5, 148.5}}));
    EXPECT_EQ(view->spriteLayer->anchorPoint(), (Point{0.5, 0.5}));
    EXPECT_EQ(view->spriteLayer->magnificationFilter(), platform::MagnificationFilter::Nearest);
    EXPECT_EQ(view->spriteLayer->contentsGravity(), platform::ContentsGravity::Resize);
    EXPECT_EQ(view->spriteLayer->contents(), nullptr);
}

TEST(BounceViewSizing, initialisationFailsWithoutItsServicesOrWithABadFrame) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    auto test = makeTestEnvironment();
    auto noQueue = test.environment;
    noQueue.mainQueue = nullptr;
    auto noRandom = test.environment;
    noRandom.random = nullptr;
    EXPECT_EQ(ZibblesBounceView::initWithFrame(noQueue, {{0, 0}, {100, 100}}, false), nullptr);
    EXPECT_EQ(ZibblesBounceView::initWithFrame(noRandom, {{0, 0}, {100, 100}}, false), nullptr);
    const Rect badFrames[] = {
        {{0, 0}, {nan, 100}}, {{0, 0}, {100, inf}},  {{inf, 0}, {100, 100}},
        {{0, 0}, {-1, 100}},  {{0, 0}, {100, -0.5}},
    };
    for (const Rect& frame : badFrames) {
        EXPECT_EQ(ZibblesBounceView::initWithFrame(test.environment, frame, false), nullptr);
        EXPECT_EQ(ZibblesBounceView::initWithCoder(test.environment, {frame, true}), nullptr);
    }
    auto archived =
        ZibblesBounceView::initWithCoder(test.environment, {{{5, 5}, {400, 300}}, true});
    ASSERT_NE(archived, nullptr);
    EXPECT_TRUE(archived->isPreview());
    EXPECT_EQ(archived->spriteSize, 300 * 0.125 * 1.1);
}

TEST_F(BounceView, runsTheChainOfLegsOnTheLayer) {
    placeAt(*view, {100, 200}, {fullSpeed, -fullSpeed});
    view->startAnimation();
    const struct {
        Point start;
        Point target;
        double duration;
    } chain[] = {
        {{100, 200}, {300, 0}, 200 / fullSpeed},
        {{300, 0}, {1231.5, 931.5}, 8.978625},
        {{1231.5, 931.5}, {1771.5, 391.5}, 5.205},
        {{1771.5, 391.5}, {1380, 0}, 3.773625},
    };
    for (const auto& step : chain) {
        SCOPED_TRACE(::testing::Message()
                     << "leg to (" << step.target.x << ", " << step.target.y << ")");
        const double begin = test.now();
        ASSERT_NE(leg(), nullptr);
        EXPECT_NEAR(view->position.x, step.start.x, 1e-9);
        EXPECT_NEAR(view->position.y, step.start.y, 1e-9);
        ASSERT_TRUE(view->legTarget.has_value());
        EXPECT_NEAR(view->legTarget->x, step.target.x, 1e-9);
        EXPECT_NEAR(view->legTarget->y, step.target.y, 1e-9);
        EXPECT_EQ(leg()->keyPath(), "position");
        EXPECT_EQ(leg()->delegate(), view) << "the view hears its own legs";
        EXPECT_NEAR(leg()->duration(), step.duration, 1e-9);
        EXPECT_EQ(leg()->fromValue(), centreOf(*view, view->position));
        EXPECT_EQ(leg()->toValue(), centreOf(*view, *view->legTarget));
        EXPECT_EQ(view->spriteLayer->position(), leg()->toValue()) << "model moved at once";
        const Point middle = view->spriteLayer->presentationPosition(begin + step.duration / 2);
        const Point from = leg()->fromValue(), to = leg()->toValue();
        EXPECT_NEAR(middle.x, (from.x + to.x) / 2, 1e-9);
        EXPECT_NEAR(middle.y, (from.y + to.y) / 2, 1e-9);

        const double duration = leg()->duration();
        test.advanceBy(duration * 0.999);
        EXPECT_NEAR(view->position.x, step.start.x, 1e-9) << "still in flight";
        test.advanceTo(begin + duration);
    }
    EXPECT_NEAR(view->position.x, 1380, 1e-9);
    EXPECT_NEAR(view->position.y, 0, 1e-9);
    EXPECT_EQ(view->velocity, (Size{-fullSpeed, fullSpeed}));
}

TEST_F(BounceView, restartingAfterAStopRestsAtTheInterruptedLegsEnd) {
    placeAt(*view, {100, 200}, {fullSpeed, -fullSpeed});
    view->startAnimation();
    const double duration = leg()->duration();
    const Point end = leg()->toValue();
    test.advanceBy(duration / 2);
    view->stopAnimation();
    EXPECT_FALSE(view->isRunning);
    EXPECT_FALSE(view->isAnimating());
    EXPECT_EQ(leg(), nullptr);
    EXPECT_EQ(view->spriteLayer->presentationPosition(test.now()), end) << "jumps to the end";
    test.advanceBy(duration); // the removed leg's finished = false arrives and is ignored
    EXPECT_EQ(view->position, (Point{100, 200}));
    EXPECT_NEAR(view->legTarget->x, 300, 1e-9);

    view->startAnimation();
    const double restart = test.now();
    ASSERT_NE(leg(), nullptr);
    EXPECT_EQ(leg()->fromValue(), end);
    EXPECT_EQ(leg()->toValue(), end);
    EXPECT_EQ(leg()->duration(), duration);
    EXPECT_EQ(view->spriteLayer->presentationPosition(restart + duration / 2), end) << "rests";
    test.advanceTo(restart + duration);
    EXPECT_NEAR(view->position.x, 300, 1e-9);
    EXPECT_EQ(view->velocity, (Size{fullSpeed, fullSpeed}));
    ASSERT_NE(leg(), nullptr);
    EXPECT_NEAR(leg()->duration(), 8.978625, 1e-9);
}

TEST_F(BounceView, startingTwiceReplacesTheLegWithTheSameOne) {
    placeAt(*view, {100, 200}, {fullSpeed, -fullSpeed});
    view->startAnimation();
    const double duration = leg()->duration();
    const Point end = leg()->toValue();
    test.advanceBy(1.0);
    view->startAnimation();
    test.advanceBy(0.0); // the replaced leg's finished = false: ignored
    EXPECT_EQ(view->position, (Point{100, 200}));
    EXPECT_EQ(leg()->fromValue(), end);
    EXPECT_EQ(leg()->toValue(), end);
    EXPECT_EQ(leg()->duration(), duration);
    test.advanceBy(duration - 0.5);
    EXPECT_EQ(view->position, (Point{100, 200})) << "the first leg's end passed unheard";
    test.advanceBy(0.5);
    EXPECT_NEAR(view->position.x, 300, 1e-9);
}

TEST_F(BounceView, aLateFinishedCallbackAfterAStopChangesNothing) {
    view->startAnimation();
    const auto ended = *leg();
    view->stopAnimation();
    const Point position = view->position;
    const Size velocity = view->velocity;
    view->animationDidStop(ended, true);
    view->animationDidStop(ended, false);
    test.advanceBy(100);
    EXPECT_EQ(view->position, position);
    EXPECT_EQ(view->velocity, velocity);
    EXPECT_EQ(leg(), nullptr);
}

LoadedZibble figure(TokenId id) {
    return LoadedZibble{id, {Pixel{}}, {0, 0, 1, 1}};
}

TEST_F(BounceView, aLegEndShowsTheOldestQueuedFigureOrAsksForTheNext) {
    placeAt(*view, {100, 200}, {fullSpeed, -fullSpeed});
    view->current = figure(1);
    view->queue = {figure(2), figure(3)};
    view->startAnimation();
    test.advanceBy(leg()->duration());
    ASSERT_TRUE(view->current.has_value());
    EXPECT_EQ(view->current->tokenId, 2);
    ASSERT_EQ(view->queue.size(), 1u);
    EXPECT_EQ(view->queue.front().tokenId, 3);
    EXPECT_FALSE(view->wantsSwap);
    test.advanceBy(leg()->duration());
    EXPECT_EQ(view->current->tokenId, 3);
    test.advanceBy(leg()->duration());
    EXPECT_EQ(view->current->tokenId, 3) << "kept when nothing is queued";
    EXPECT_TRUE(view->wantsSwap);
}

class RecordingTask final : public platform::DataTask {
  public:
    RecordingTask(TokenId id, std::vector<TokenId>& cancels) : id_(id), cancels_(cancels) {}
    void resume() override {}
    void cancel() override { cancels_.push_back(id_); }

  private:
    TokenId id_;
    std::vector<TokenId>& cancels_;
};

TEST_F(BounceView, stoppingCancelsEveryFetchInFlightInIdOrderAndKeepsTheFigures) {
    std::vector<TokenId> cancels;
    for (TokenId id : {500, 7, 83300}) {
        view->inflightTasks[id] = std::make_shared<RecordingTask>(id, cancels);
        view->pending.insert(id);
    }
    view->queue = {figure(2)};
    view->current = figure(1);
    view->stopAnimation(); // before any start, too
    EXPECT_EQ(cancels, (std::vector<TokenId>{7, 500, 83300}));
    EXPECT_TRUE(view->inflightTasks.empty());
    EXPECT_TRUE(view->pending.empty());
    EXPECT_EQ(view->queue.size(), 1u);
    EXPECT_EQ(view->current->tokenId, 1);
    view->stopAnimation();
    EXPECT_EQ(cancels.size(), 3u) << "nothing left to cancel";
}

TEST_F(BounceView, aResizedViewKeepsItsSizeAndSpeedAndStopsWhenTooSmall) {
    placeAt(*view, {100, 200}, {fullSpeed, -fullSpeed});
    view->startAnimation();
    view->setFrameSize({400, 300}); // the leg in flight ends where it was planned
    test.advanceBy(leg()->duration());
    EXPECT_EQ(view->spriteSize, 148.5);
    EXPECT_EQ(std::abs(view->velocity.width), fullSpeed);
    ASSERT_NE(leg(), nullptr);
    EXPECT_LE(view->legTarget->x, 400 - 148.5) << "the walls follow the new bounds";
    view->setFrameSize({100, 100});
    test.advanceBy(leg()->duration());
    EXPECT_EQ(leg(), nullptr) << "no room: the motion stalls";
    test.advanceBy(60);
    EXPECT_EQ(leg(), nullptr);
}

// The legs the sprite layer was given, read back from the trace.
struct TracedLeg {
    double t;
    Point from;
    Point to;
    double duration;
};

std::vector<TracedLeg> tracedLegs(const std::vector<std::string>& lines, std::uint64_t layer) {
    std::vector<TracedLeg> legs;
    const std::string prefix =
        ",\"event\":\"animation.added\",\"layer\":" + std::to_string(layer) + ",\"key\":\"leg\",";
    for (const auto& line : lines) {
        if (line.find(prefix) == std::string::npos) {
            continue;
        }
        TracedLeg leg{};
        const int read = std::sscanf(
            line.c_str(),
            R"({"t":%lf,"event":"animation.added","layer":%*u,"key":"leg","from":{"x":%lf,"y":%lf},"to":{"x":%lf,"y":%lf},"duration":%lf})",
            &leg.t, &leg.from.x, &leg.from.y, &leg.to.x, &leg.to.y, &leg.duration);
        EXPECT_EQ(read, 6) << line;
        legs.push_back(leg);
    }
    return legs;
}

bool onAWall(double value, double max) {
    return std::abs(value) < 1e-6 || std::abs(value - max) < 1e-6;
}

TEST(BounceViewHour, aRegisteredViewBouncesWallToWallForAnHourAndStopsCleanly) {
    auto test = makeTestEnvironment(2024, TraceSink::InMemory);
    platform::ViewRegistry registry;
    registerZibblesBounceView(registry);
    ASSERT_TRUE(registry.has("ZibblesBounceView"));
    EXPECT_EQ(registry.make("NoSuchView", test.environment, Rect{{0, 0}, {1, 1}}, false), nullptr);
    auto made = registry.make("ZibblesBounceView", test.environment,
                              Rect{{0, 0}, {fullWidth, fullHeight}}, false);
    auto view = std::dynamic_pointer_cast<ZibblesBounceView>(made);
    ASSERT_NE(view, nullptr);
    view->startAnimation();
    // One-minute steps: a bounded loop, never "until idle".
    for (int minute = 0; minute < 60; ++minute) {
        test.advanceBy(60);
    }
    view->stopAnimation();
    const std::size_t linesAtStop = test.traceLines().size();
    test.advanceBy(600);

    const auto legs = tracedLegs(test.traceLines(), view->spriteLayer->traceId());
    ASSERT_GT(legs.size(), 400u) << "legs last 5 to 17 s on this screen";
    const double half = view->spriteSize / 2;
    const double maxX = fullWidth - view->spriteSize, maxY = fullHeight - view->spriteSize;
    for (std::size_t i = 0; i < legs.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "leg " << i);
        const TracedLeg& leg = legs[i];
        const double dx = leg.to.x - leg.from.x, dy = leg.to.y - leg.from.y;
        EXPECT_NEAR(std::abs(dx), std::abs(dy), 1e-6) << "along a diagonal";
        EXPECT_NEAR(std::abs(dx), fullSpeed * leg.duration, 1e-6) << "at full speed";
        EXPECT_TRUE(onAWall(leg.to.x - half, maxX) || onAWall(leg.to.y - half, maxY));
        if (i > 0) {
            const TracedLeg& before = legs[i - 1];
            EXPECT_EQ(leg.from, before.to) << "starts where the last ended";
            EXPECT_NEAR(leg.t, before.t + before.duration, 1e-6) << "without a pause";
        }
    }
    EXPECT_EQ(test.traceLines().size(), linesAtStop) << "nothing moves after the stop";
    EXPECT_EQ(view->spriteLayer->animationForKey("leg"), nullptr);
}

TEST(BounceViewTeardown, aViewReleasedWithWorkQueuedDoesNothingLater) {
    auto test = makeTestEnvironment(5, TraceSink::InMemory);
    auto view = makeView(test, fullWidth, fullHeight);
    view->startAnimation();
    view->retryLater();
    test.advanceBy(0.5);
    // A host may keep the backing layer (and so the sprite layer) alive in its compositor.
    const auto backing = view->layer();
    std::weak_ptr<ZibblesBounceView> weakView = view;
    view.reset();
    EXPECT_TRUE(weakView.expired()) << "nothing queued keeps the view alive";
    const std::size_t linesAtRelease = test.traceLines().size();
    test.advanceBy(3600);
    const auto lines = test.traceLines();
    ASSERT_EQ(lines.size(), linesAtRelease + 1);
    EXPECT_NE(lines.back().find("\"finished\":true"), std::string::npos)
        << "the leg ends on the layer, and no next leg starts";
    EXPECT_EQ(backing->sublayers()[0]->animationForKey("leg"), nullptr);
}

TEST(BounceViewTeardown, viewsReleasedWithoutAHostLayerLeaveNothingBehind) {
    auto test = makeTestEnvironment(6);
    std::vector<std::weak_ptr<void>> released;
    for (int i = 0; i < 3; ++i) {
        auto view = makeView(test, 640, 480);
        view->startAnimation();
        view->retryLater();
        test.advanceBy(1.0);
        released.push_back(view);
        released.push_back(view->spriteLayer);
    }
    for (const auto& gone : released) {
        EXPECT_TRUE(gone.expired()) << "queued work holds views and layers weakly";
    }
    test.advanceBy(3600); // their end timers and retries come due and find nothing
    EXPECT_FALSE(test.queue().nextDeadline().has_value()) << "and nothing reposts itself";
}

} // namespace
} // namespace zibbles

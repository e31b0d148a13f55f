#include "platform/Layer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zibbles::platform {
namespace {

using zibbles::testing::makeTestEnvironment;
using zibbles::testing::TestEnvironment;
using zibbles::testing::TraceSink;

// Hears each callback: the animation's end value, finished, and the clock time it came at.
class RecordingDelegate final : public AnimationDelegate {
  public:
    struct Call {
        Point to;
        bool finished;
        double at;
    };
    explicit RecordingDelegate(const TestEnvironment& test) : test_(test) {}
    void animationDidStop(const BasicAnimation& animation, bool finished) override {
        calls.push_back({animation.toValue(), finished, test_.now()});
        if (onStop) {
            onStop(finished);
        }
    }
    std::vector<Call> calls;
    std::function<void(bool)> onStop;

  private:
    const TestEnvironment& test_;
};

std::shared_ptr<BasicAnimation> move(Point from, Point to, double duration,
                                     const std::shared_ptr<AnimationDelegate>& delegate) {
    auto animation = BasicAnimation::animationWithKeyPath("position");
    animation->setFromValue(from);
    animation->setToValue(to);
    animation->setDuration(duration);
    animation->setDelegate(delegate);
    return animation;
}

class LayerTest : public ::testing::Test {
  protected:
    TestEnvironment test = makeTestEnvironment(1, TraceSink::InMemory);
    std::shared_ptr<Layer> layer = Layer::make(test.environment.mainQueue, test.environment.trace);
    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>(test);
};

TEST_F(LayerTest, anAnimationThatRunsToItsEndIsRemovedAndReportedAtItsEndTime) {
    test.advanceTo(10.0);
    layer->addAnimation(move({0, 0}, {100, 0}, 2.5, delegate), "leg");
    ASSERT_NE(layer->animationForKey("leg"), nullptr);
    EXPECT_EQ(layer->animationForKey("leg")->beginTime(), 10.0);
    test.advanceBy(2.4);
    EXPECT_TRUE(delegate->calls.empty());
    EXPECT_TRUE(layer->isAnimating(test.now()));
    test.advanceBy(1.0);
    ASSERT_EQ(delegate->calls.size(), 1u);
    EXPECT_TRUE(delegate->calls[0].finished);
    EXPECT_EQ(delegate->calls[0].at, 12.5);
    EXPECT_EQ(layer->animationForKey("leg"), nullptr);
    EXPECT_FALSE(layer->isAnimating(test.now()));
}

TEST_F(LayerTest, replacingOrRemovingReportsNotFinishedThroughTheRunLoopOnly) {
    auto second = std::make_shared<RecordingDelegate>(test);
    layer->addAnimation(move({0, 0}, {1, 1}, 5.0, delegate), "leg");
    test.advanceBy(1.0);
    layer->addAnimation(move({0, 0}, {2, 2}, 5.0, second), "leg");
    EXPECT_TRUE(delegate->calls.empty()) << "never told inline";
    test.advanceBy(0.0);
    ASSERT_EQ(delegate->calls.size(), 1u);
    EXPECT_FALSE(delegate->calls[0].finished);
    EXPECT_EQ(delegate->calls[0].to, (Point{1, 1}));

    // The replaced animation's end passes without a second word to its delegate.
    test.advanceBy(4.5);
    EXPECT_EQ(delegate->calls.size(), 1u);
    EXPECT_TRUE(second->calls.empty());

    layer->removeAnimationForKey("leg");
    layer->removeAnimationForKey("leg");
    layer->removeAnimationForKey("absent");
    EXPECT_TRUE(second->calls.empty());
    test.advanceBy(10.0);
    ASSERT_EQ(second->calls.size(), 1u) << "removed once, told once, never finished later";
    EXPECT_FALSE(second->calls[0].finished);
    EXPECT_EQ(second->calls[0].at, 5.5);
}

TEST_F(LayerTest, keysAreIndependent) {
    auto other = std::make_shared<RecordingDelegate>(test);
    layer->addAnimation(move({0, 0}, {1, 0}, 1.0, delegate), "a");
    layer->addAnimation(move({0, 0}, {2, 0}, 3.0, other), "b");
    test.advanceBy(2.0);
    ASSERT_EQ(delegate->calls.size(), 1u);
    EXPECT_TRUE(delegate->calls[0].finished);
    EXPECT_TRUE(other->calls.empty());
    EXPECT_NE(layer->animationForKey("b"), nullptr);
}

TEST_F(LayerTest, aDelegateMayChainTheNextAnimationUnderTheSameKey) {
    int legs = 0;
    delegate->onStop = [&](bool finished) {
        if (finished && ++legs < 4) {
            layer->addAnimation(move({0, 0}, {0, 0}, 1.0, delegate), "leg");
        }
    };
    layer->addAnimation(move({0, 0}, {0, 0}, 1.0, delegate), "leg");
    test.advanceBy(10.0);
    ASSERT_EQ(delegate->calls.size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(delegate->calls[i].finished);
        EXPECT_EQ(delegate->calls[i].at, 1.0 + static_cast<double>(i));
    }
}

TEST_F(LayerTest, nothingIsHeardFromAGoneDelegateOrAGoneLayer) {
    layer->addAnimation(move({0, 0}, {1, 0}, 1.0, delegate), "leg");
    delegate.reset();
    test.advanceBy(2.0); // the weak delegate is gone: no call, no crash

    auto listener = std::make_shared<RecordingDelegate>(test);
    layer->addAnimation(move({0, 0}, {1, 0}, 1.0, listener), "leg");
    std::weak_ptr<Layer> weakLayer = layer;
    layer.reset();
    EXPECT_TRUE(weakLayer.expired()) << "the end timer must not keep the layer alive";
    test.advanceBy(2.0);
    EXPECT_TRUE(listener->calls.empty());
}

TEST_F(LayerTest, presentationPositionInterpolatesOverTheSpanThenShowsTheModel) {
    layer->setPosition({500, 500});
    test.advanceTo(4.0);
    layer->addAnimation(move({100, 200}, {300, 0}, 2.0, delegate), "leg");
    const struct {
        double t;
        Point expected;
    } cases[] = {
        {3.0, {100, 200}}, // before the start: clamped to the start
        {4.0, {100, 200}},   {4.5, {150, 150}}, {5.0, {200, 100}},
        {5.5, {250, 50}},    {6.0, {500, 500}}, // at and after the end: the model
        {100.0, {500, 500}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(layer->presentationPosition(c.t), c.expected) << "t = " << c.t;
    }
    test.advanceBy(2.0);
    EXPECT_EQ(layer->presentationPosition(5.0), (Point{500, 500})) << "removed at its end";
}

TEST_F(LayerTest, presentationFrameIsPlacedByTheAnchorPoint) {
    layer->setBounds({{0, 0}, {20, 10}});
    layer->setPosition({100, 100});
    EXPECT_EQ(layer->presentationFrame(0.0), (Rect{{90, 95}, {20, 10}}));
    layer->setAnchorPoint({0, 1});
    EXPECT_EQ(layer->presentationFrame(0.0), (Rect{{100, 90}, {20, 10}}));
}

TEST_F(LayerTest, theLayerKeepsItsOwnCopyOfAnAddedAnimation) {
    auto animation = move({0, 0}, {10, 0}, 1.0, delegate);
    layer->addAnimation(animation, "leg");
    animation->setToValue({99, 99});
    animation->setDuration(50.0);
    EXPECT_EQ(layer->presentationPosition(0.5), (Point{5, 0}));
    test.advanceBy(1.0);
    EXPECT_EQ(delegate->calls.size(), 1u);
}

TEST_F(LayerTest, durationsThatAreNotPositiveEndOnTheNextTurnOfTheLoop) {
    for (double duration : {0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        delegate->calls.clear();
        layer->addAnimation(move({0, 0}, {1, 1}, duration, delegate), "leg");
        EXPECT_TRUE(delegate->calls.empty());
        EXPECT_EQ(layer->presentationPosition(test.now()), layer->position());
        test.advanceBy(0.0);
        ASSERT_EQ(delegate->calls.size(), 1u) << duration;
        EXPECT_TRUE(delegate->calls[0].finished);
    }
}

TEST_F(LayerTest, modelChangesBumpTheChangeCount) {
    const auto before = layer->changeCount();
    layer->setPosition({1, 2});
    layer->setBackgroundColor(Color::white(0.1, 1.0));
    layer->addSublayer(Layer::make(test.environment.mainQueue));
    EXPECT_GE(layer->changeCount(), before + 3);
}

TEST_F(LayerTest, writesItsEventsToTheTrace) {
    layer->addAnimation(move({1, 2}, {3.5, 4}, 0.5, delegate), "leg");
    layer->addAnimation(move({3, 4}, {5, 6}, 1.0, delegate), "leg");
    test.advanceBy(1.0);
    layer->setContentsScale(2.0);
    layer->setContents(std::make_shared<Image>(3, 2, std::vector<std::uint8_t>(24, 0)));
    const std::string id = std::to_string(layer->traceId());
    EXPECT_EQ(test.traceLines(),
              (std::vector<std::string>{
                  R"({"t":0,"event":"animation.added","layer":)" + id +
                      R"(,"key":"leg","from":{"x":1,"y":2},"to":{"x":3.5,"y":4},"duration":0.5})",
                  R"({"t":0,"event":"animation.ended","layer":)" + id +
                      R"(,"key":"leg","finished":false})",
                  R"({"t":0,"event":"animation.added","layer":)" + id +
                      R"(,"key":"leg","from":{"x":3,"y":4},"to":{"x":5,"y":6},"duration":1})",
                  R"({"t":1,"event":"animation.ended","layer":)" + id +
                      R"(,"key":"leg","finished":true})",
                  R"({"t":1,"event":"contents.set","layer":)" + id +
                      R"(,"width":3,"height":2,"scale":2})",
              }));
}

TEST(LayerTrace, eachLayerGetsItsOwnSmallId) {
    auto test = makeTestEnvironment(1, TraceSink::InMemory);
    auto first = Layer::make(test.environment.mainQueue, test.environment.trace);
    auto second = Layer::make(test.environment.mainQueue, test.environment.trace);
    EXPECT_EQ(first->traceId(), 1u);
    EXPECT_EQ(second->traceId(), 2u);
    EXPECT_EQ(Layer::make(test.environment.mainQueue)->traceId(), 0u);
}

TEST(TraceText, quotesAndNumbersAreValidJson) {
    EXPECT_EQ(Trace::quote("a\"b\\c\n\x01"), R"("a\"b\\c\n\u0001")");
    EXPECT_EQ(Trace::number(0.1), "0.1");
    EXPECT_EQ(Trace::number(std::numeric_limits<double>::infinity()), "null");
    EXPECT_EQ(Trace::number(std::numeric_limits<double>::quiet_NaN()), "null");
}

} // namespace
} // namespace zibbles::platform

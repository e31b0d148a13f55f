#include "platform/Compositor.h"
#include "platform/SoftwareFramebuffer.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <ostream>

namespace zibbles::platform {
void PrintTo(const IntRect& r, std::ostream* os) {
    *os << "{" << r.x << ", " << r.y << ", " << r.width << ", " << r.height << "}";
}
} // namespace zibbles::platform

namespace zibbles::platform {
namespace {

constexpr Rgba8 kBlack{0, 0, 0, 255};
constexpr Rgba8 kGrey{26, 26, 26, 255}; // white level 0.1: round(25.5)
constexpr Rgba8 kRed{255, 0, 0, 255};
constexpr Rgba8 kGreen{0, 255, 0, 255};
constexpr Rgba8 kBlue{0, 0, 255, 255};
constexpr Rgba8 kClear{0, 0, 0, 0};
constexpr Rgba8 kHalfWhite{128, 128, 128, 128};

// A 2 × 2 image, top row first: red, green / blue, transparent.
ImageRef quadrants() {
    std::vector<std::uint8_t> bytes;
    for (const Rgba8& p : {kRed, kGreen, kBlue, kClear})
        bytes.insert(bytes.end(), p.begin(), p.end());
    return std::make_shared<const Image>(2, 2, std::move(bytes));
}

class CompositorTest : public ::testing::Test {
  protected:
    CompositorTest() {
        root->setBounds({{0, 0}, {40, 30}});
        root->setBackgroundColor(Color::white(0.1, 1.0));
        sprite->setBounds({{0, 0}, {4, 4}});
        sprite->setPosition({10, 10}); // centre: the frame is (8, 8) to (12, 12), y up
        sprite->setMagnificationFilter(MagnificationFilter::Nearest);
        sprite->setContents(quadrants());
        root->addSublayer(sprite);
    }

    void moveSpriteOver(Point from, Point to, double seconds) {
        auto leg = BasicAnimation::animationWithKeyPath("position");
        leg->setFromValue(from);
        leg->setToValue(to);
        leg->setDuration(seconds);
        sprite->setPosition(to);
        sprite->addAnimation(leg, "leg");
    }

    testing::TestEnvironment test = testing::makeTestEnvironment();
    std::shared_ptr<Layer> root = Layer::make(test.environment.mainQueue);
    std::shared_ptr<Layer> sprite = Layer::make(test.environment.mainQueue);
    Compositor compositor;
};

TEST_F(CompositorTest, paintsBackgroundOverRootBoundsOnly) {
    SoftwareFramebuffer target(50, 40);
    sprite->setContents(nullptr);
    compositor.render(*root, 0, target);
    // The root sits at the bottom-left: rows 10..39, columns 0..39.
    EXPECT_EQ(target.pixelAt(0, 39), kGrey);
    EXPECT_EQ(target.pixelAt(39, 10), kGrey);
    EXPECT_EQ(target.pixelAt(0, 9), kBlack);
    EXPECT_EQ(target.pixelAt(40, 39), kBlack);
}

TEST_F(CompositorTest, drawsContentsUprightAndStretchedNearest) {
    for (double scale : {1.0, 2.0}) {
        SoftwareFramebuffer target(static_cast<std::int64_t>(40 * scale),
                                   static_cast<std::int64_t>(30 * scale), scale);
        Compositor fresh;
        fresh.render(*root, 0, target);
        const auto s = static_cast<std::int64_t>(scale);
        // Frame (8, 8)-(12, 12) y up is columns 8..11, rows 18..21 top-down at scale 1.
        EXPECT_EQ(target.pixelAt(8 * s, 18 * s), kRed) << scale;
        EXPECT_EQ(target.pixelAt(10 * s - 1, 20 * s - 1), kRed) << scale;
        EXPECT_EQ(target.pixelAt(10 * s, 18 * s), kGreen) << scale;
        EXPECT_EQ(target.pixelAt(8 * s, 20 * s), kBlue) << scale;
        EXPECT_EQ(target.pixelAt(12 * s - 1, 22 * s - 1), kGrey) << "transparent shows through";
        EXPECT_EQ(target.pixelAt(8 * s - 1, 18 * s), kGrey) << scale;
        EXPECT_EQ(target.pixelAt(12 * s, 18 * s), kGrey) << scale;
    }
}

TEST_F(CompositorTest, translucentContentsBlendOverTheBackground) {
    sprite->setContents(std::make_shared<const Image>(
        1, 1, std::vector<std::uint8_t>(kHalfWhite.begin(), kHalfWhite.end())));
    SoftwareFramebuffer target(40, 30);
    compositor.render(*root, 0, target);
    // 128 + round(26 × 127 / 255) = 128 + 13.
    EXPECT_EQ(target.pixelAt(9, 19), (Rgba8{141, 141, 141, 255}));
}

TEST_F(CompositorTest, drawsTheSpriteWhereItsAnimationShowsIt) {
    moveSpriteOver({10, 10}, {30, 20}, 2.0);
    SoftwareFramebuffer target(40, 30);
    compositor.render(*root, 1.0, target); // halfway: centre (20, 15), frame (18, 13)-(22, 17)
    EXPECT_EQ(target.pixelAt(18, 13), kRed);
    EXPECT_EQ(target.pixelAt(8, 18), kGrey);
    compositor.render(*root, 5.0, target); // after the end: the model position (30, 20)
    EXPECT_EQ(target.pixelAt(28, 8), kRed);
    EXPECT_EQ(target.pixelAt(18, 13), kGrey) << "the old place is repainted";
}

TEST_F(CompositorTest, repaintsOnlyWhatChanged) {
    SoftwareFramebuffer target(40, 30);
    const IntRect everything{0, 0, 40, 30};
    EXPECT_EQ(compositor.render(*root, 0, target), std::vector<IntRect>{everything});

    target.present({});
    EXPECT_TRUE(compositor.render(*root, 0, target).empty()) << "nothing moved";
    EXPECT_TRUE(target.lastDamage().empty()) << "nothing presented";

    moveSpriteOver({10, 10}, {20, 10}, 10.0);
    // One point to the right: the old (8..11) and new (9..12) columns, as one rectangle.
    EXPECT_EQ(compositor.render(*root, 1.0, target), (std::vector<IntRect>{{8, 18, 5, 4}}));
    EXPECT_EQ(target.lastDamage(), (std::vector<IntRect>{{8, 18, 5, 4}}));
    // Far apart: two rectangles.
    EXPECT_EQ(compositor.render(*root, 9.0, target),
              (std::vector<IntRect>{{9, 18, 4, 4}, {17, 18, 4, 4}}));

    sprite->setContents(quadrants());
    EXPECT_EQ(compositor.render(*root, 9.0, target), (std::vector<IntRect>{{17, 18, 4, 4}}));

    root->setBackgroundColor(Color::white(0.2, 1.0));
    EXPECT_EQ(compositor.render(*root, 9.0, target), std::vector<IntRect>{everything});

    target.resize(20, 10);
    EXPECT_EQ(compositor.render(*root, 9.0, target), (std::vector<IntRect>{{0, 0, 20, 10}}));

    compositor.invalidate();
    EXPECT_EQ(compositor.render(*root, 9.0, target), (std::vector<IntRect>{{0, 0, 20, 10}}));
}

TEST_F(CompositorTest, damageIsClippedToTheTarget) {
    SoftwareFramebuffer target(40, 30);
    compositor.render(*root, 0, target);
    moveSpriteOver({10, 10}, {-10, 10}, 2.0); // halfway the centre is at x = 0
    EXPECT_EQ(compositor.render(*root, 1.0, target),
              (std::vector<IntRect>{{8, 18, 4, 4}, {0, 18, 2, 4}}));
}

TEST_F(CompositorTest, damagedFramesMatchAFullRedraw) {
    moveSpriteOver({10, 10}, {33, 21}, 3.0);
    SoftwareFramebuffer incremental(40, 30);
    for (double t = 0; t <= 3.5; t += 0.1)
        compositor.render(*root, t, incremental);
    SoftwareFramebuffer full(40, 30);
    Compositor().render(*root, 3.5, full);
    EXPECT_EQ(incremental.snapshot()->rgba(), full.snapshot()->rgba());
}

TEST(CompositorDeviceRect, roundsOriginAndSizeSeparately) {
    struct Case {
        Rect frame;
        double scale;
        IntRect expected;
    } cases[] = {
        {{{0.4, 0.6}, {148.5, 148.5}}, 1.0, {0, 1000 - 150, 149, 149}},
        {{{10.5, 20}, {148.5, 148.5}}, 1.0, {11, 1000 - 169, 149, 149}},
        {{{10.25, 20}, {148.5, 148.5}}, 2.0, {21, 1000 - 337, 297, 297}},
        {{{NAN, 0}, {1, 1}}, 1.0, {}},
        {{{0, 0}, {INFINITY, 1}}, 1.0, {}},
        {{{0, 0}, {-4, 1}}, 1.0, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Compositor::deviceRect(c.frame, c.scale, 1000), c.expected);
}

} // namespace
} // namespace zibbles::platform

#include "Zibbles/ZibblesBounceView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace zibbles {
namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

std::optional<LegPlan> plan(double w, double h, double s, Point p, Size v) {
    return ZibblesBounceView::planLeg(w, h, s, p, v);
}

Size reflect(double w, double h, double s, Point p, Size v) {
    return ZibblesBounceView::reflectVelocity(w, h, s, p, v);
}

TEST(LegGeometry, aFullScreenChainOfFourLegs) {
    constexpr double w = 1920, h = 1080, s = 148.5;
    const double u = 1080 / 10.41;
    const struct {
        Point start;
        Size velocity;
        Point target;
        double duration;
    } legs[] = {
        {{100, 200}, {+u, -u}, {300, 0}, 200 / u},
        {{300, 0}, {+u, +u}, {1231.5, 931.5}, 8.978625},
        {{1231.5, 931.5}, {+u, -u}, {1771.5, 391.5}, 5.205},
        {{1771.5, 391.5}, {-u, -u}, {1380, 0}, 3.773625},
    };
    EXPECT_NEAR(legs[0].duration, 1.9277777, 1e-6);
    // Each leg starts where the last ended, with the velocity that the bounce there gave.
    Point p = legs[0].start;
    Size v = legs[0].velocity;
    for (const auto& leg : legs) {
        SCOPED_TRACE(::testing::Message()
                     << "leg from (" << leg.start.x << ", " << leg.start.y << ")");
        EXPECT_NEAR(p.x, leg.start.x, 1e-9);
        EXPECT_NEAR(p.y, leg.start.y, 1e-9);
        EXPECT_EQ(v, leg.velocity);
        const auto next = plan(w, h, s, p, v);
        ASSERT_TRUE(next.has_value());
        EXPECT_NEAR(next->target.x, leg.target.x, 1e-9);
        EXPECT_NEAR(next->target.y, leg.target.y, 1e-9);
        EXPECT_NEAR(next->duration, leg.duration, 1e-9);
        p = next->target;
        v = reflect(w, h, s, p, v);
    }
}

TEST(LegGeometry, plansTheLegToTheFirstWallAhead) {
    const struct {
        const char* name;
        double w, h, s;
        Point p;
        Size v;
        Point target;
        double duration;
    } cases[] = {
        {"corner: both walls at once", 11, 11, 1, {0, 0}, {1, 1}, {10, 10}, 10},
        {"on the wall ahead: the minimum, clamped",
         101,
         101,
         1,
         {0, 50},
         {-2, 3},
         {0, 50.003},
         0.001},
        {"outside after a shrink: pulled back",
         101,
         101,
         1,
         {150, 50},
         {2, 3},
         {100, 50.003},
         0.001},
        {"outside on both axes", 101, 101, 1, {-20, 300}, {-1, 1}, {0, 100}, 0.001},
        {"a zero-size sprite uses the whole view", 10, 20, 0, {5, 5}, {1, -1}, {10, 0}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto leg = plan(c.w, c.h, c.s, c.p, c.v);
        ASSERT_TRUE(leg.has_value());
        EXPECT_NEAR(leg->target.x, c.target.x, 1e-12);
        EXPECT_NEAR(leg->target.y, c.target.y, 1e-12);
        EXPECT_DOUBLE_EQ(leg->duration, c.duration);
    }
}

TEST(LegGeometry, givesNoLegWithoutRoomOrMotion) {
    const struct {
        const char* name;
        double w, h, s;
        Size v;
    } cases[] = {
        {"no room: view as large as the sprite", 50, 50, 50, {1, 1}},
        {"no room across", 40, 100, 50, {1, 1}},
        {"no room up", 100, 50, 50, {1, 1}},
        {"zero-size view", 0, 0, 0, {1, 1}},
        {"not a number for a size", nan, 100, 10, {1, 1}},
        {"no horizontal motion", 100, 100, 10, {0, 1}},
        {"no vertical motion", 100, 100, 10, {1, -0.0}},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(plan(c.w, c.h, c.s, {1, 1}, c.v).has_value()) << c.name;
    }
}

TEST(LegGeometry, anyInputGivesNoLegOrALegInsideTheRoom) {
    const double values[] = {nan, inf, -inf, -1e300, -3, 0, 0.25, 7, 1e300};
    for (double a : values) {
        for (double b : values) {
            const Point p{a, b};
            const Size v{b, -a};
            const auto leg = plan(200, 100, 10, p, v);
            if (!leg) {
                continue;
            }
            EXPECT_GE(leg->target.x, 0.0);
            EXPECT_LE(leg->target.x, 190.0);
            EXPECT_GE(leg->target.y, 0.0);
            EXPECT_LE(leg->target.y, 90.0);
            EXPECT_GE(leg->duration, 0.001) << "p (" << a << ", " << b << ")";
        }
    }
}

TEST(LegGeometry, reflectsEachComponentWithinHalfAPointOfItsWall) {
    // Room: maxX = 99, maxY = 49.
    constexpr double w = 100, h = 50, s = 1;
    const struct {
        const char* name;
        Point p;
        Size v;
        Size expected;
    } cases[] = {
        {"left wall", {0, 20}, {-3, 3}, {3, 3}},
        {"right wall", {99, 20}, {3, 3}, {-3, 3}},
        {"bottom wall", {40, 0}, {3, -3}, {3, 3}},
        {"top wall", {40, 49}, {3, 3}, {3, -3}},
        {"corner: both", {99, 49}, {3, 3}, {-3, -3}},
        {"near-corner within the margin: both", {0.4, 48.6}, {-3, 3}, {3, -3}},
        {"rounding left it just above 0", {1e-12, 20}, {-3, 3}, {3, 3}},
        {"rounding left it just below the max", {99 - 1e-9, 20}, {3, 3}, {-3, 3}},
        {"exactly at the margin counts", {0.5, 48.5}, {-3, 3}, {3, -3}},
        {"just past the margin does not", {0.5000001, 48.4999999}, {-3, 3}, {-3, 3}},
        {"0.65 from the left on the bottom: only vertical", {0.65, 0}, {3, -3}, {3, 3}},
        {"the heading is not looked at", {0, 20}, {3, 3}, {-3, 3}},
        {"mid-room: unchanged", {50, 25}, {-3, 3}, {-3, 3}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(reflect(w, h, s, c.p, c.v), c.expected) << c.name;
    }
}

TEST(LegGeometry, theCornerLegReflectsBothAndTheNextLegLeavesTheCorner) {
    const auto leg = plan(11, 11, 1, {0, 0}, {1, 1});
    ASSERT_TRUE(leg.has_value());
    const Size back = reflect(11, 11, 1, leg->target, {1, 1});
    EXPECT_EQ(back, (Size{-1, -1}));
    const auto next = plan(11, 11, 1, leg->target, back);
    ASSERT_TRUE(next.has_value());
    EXPECT_EQ(next->target, (Point{0, 0}));
    EXPECT_EQ(next->duration, 10.0);
}

} // namespace
} // namespace zibbles

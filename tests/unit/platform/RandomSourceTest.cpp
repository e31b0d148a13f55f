#include "platform/RandomSource.h"

#include <gtest/gtest.h>

#include <limits>

namespace zibbles::platform {
namespace {

TEST(RandomSource, staysInsideItsClosedRangesAndRepeatsBySeed) {
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    SeededRandom a(42), b(42);
    bool sawHeads = false, sawTails = false;
    for (int i = 0; i < 2000; ++i) {
        const double u = a.uniform(-2.5, 7.0);
        EXPECT_EQ(u, b.uniform(-2.5, 7.0));
        EXPECT_GE(u, -2.5);
        EXPECT_LE(u, 7.0);
        EXPECT_EQ(a.uniform(3.0, 3.0), b.uniform(3.0, 3.0));
        const std::int64_t id = a.uniformInt(1, 83300);
        EXPECT_EQ(id, b.uniformInt(1, 83300));
        EXPECT_GE(id, 1);
        EXPECT_LE(id, 83300);
        EXPECT_EQ(a.uniformInt(lowest, highest), b.uniformInt(lowest, highest));
        const std::int64_t edge = a.uniformInt(highest - 1, highest);
        EXPECT_GE(edge, highest - 1);
        EXPECT_EQ(edge, b.uniformInt(highest - 1, highest));
        const bool coin = a.coin();
        EXPECT_EQ(coin, b.coin());
        (coin ? sawHeads : sawTails) = true;
    }
    EXPECT_TRUE(sawHeads && sawTails);
}

} // namespace
} // namespace zibbles::platform

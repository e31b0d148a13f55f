#include "platform/RandomSource.h"

#include <limits>

namespace zibbles::platform {

namespace {

std::uint64_t seedFromOs() {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

} // namespace

SeededRandom::SeededRandom(std::optional<std::uint64_t> seed)
    : engine_(seed ? *seed : seedFromOs()) {}

double SeededRandom::uniform(double low, double high) {
    // 53 random bits over 2^53 - 1 reach both 0 and 1 exactly, so the range is closed at both
    // ends, as callers ask for.
    constexpr double denominator = 9007199254740991.0; // 2^53 - 1
    const double u = static_cast<double>(engine_() >> 11) / denominator;
    return low + (high - low) * u;
}

std::int64_t SeededRandom::uniformInt(std::int64_t low, std::int64_t high) {
    if (high < low) {
        std::swap(low, high);
    }
    // Unsigned arithmetic: the span of the widest range does not fit a signed integer.
    const std::uint64_t span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low);
    constexpr std::uint64_t all = std::numeric_limits<std::uint64_t>::max();
    if (span == all) {
        return static_cast<std::int64_t>(engine_());
    }
    // Rejection keeps every value equally likely: draws in the short last bucket are redrawn.
    const std::uint64_t buckets = span + 1;
    const std::uint64_t limit = all - all % buckets;
    std::uint64_t draw = engine_();
    while (draw >= limit) {
        draw = engine_();
    }
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + draw % buckets);
}

bool SeededRandom::coin() {
    return (engine_() >> 63) != 0;
}

} // namespace zibbles::platform

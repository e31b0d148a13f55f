#pragma once

// Choosing which token to fetch next.

#include "Zibbles/LoadedZibble.h"
#include "platform/RandomSource.h"

#include <set>

namespace zibbles {

constexpr TokenId lowestTokenId = 1;
constexpr TokenId highestTokenId = 83300;
// Redraws after the first draw; the candidate after the last redraw is taken whatever it is, so
// a nearly exhausted range never stalls the main thread.
constexpr int maximumRedraws = 50;

// Draws from lowestTokenId through highestTokenId until a candidate is neither in avoid nor on
// the skip list, at most maximumRedraws times after the first. Main thread only (the random
// source is).
TokenId chooseTokenId(platform::RandomSource& random, const std::set<TokenId>& avoid);

} // namespace zibbles

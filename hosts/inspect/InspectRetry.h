#pragma once

// How the inspector rides out an endpoint that refuses: when to ask a refused id again. (How
// fast to ask at all is InspectPacing.h's.) Pure; the chain client applies it.

#include "hosts/common/Refusal.h"

namespace zibbles::inspect {

// Tries per id, the first one included; a token fails for a refusal only when they are spent.
constexpr int maximumTries = 6;
constexpr double firstBackoffSeconds = 0.25;
constexpr double longestBackoffSeconds = 8.0;
// A Retry-After of hours would leave a survey silent for hours; a person can ask again later.
constexpr double longestHonouredWaitSeconds = 60.0;

// The wait before asking again after the refusedTries-th refusal of an id (1 for the first):
// the endpoint's own wait if it gave one (up to a fifth more), else 250 ms doubling, a quarter
// more or less, capped at 8 s. random01, from [0, 1), spreads ids refused together so that they
// do not come back together.
double retryWait(const host::Refusal& refusal, int refusedTries, double random01);

} // namespace zibbles::inspect

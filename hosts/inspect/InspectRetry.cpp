#include "hosts/inspect/InspectRetry.h"

#include <algorithm>
#include <cmath>

namespace zibbles::inspect {

double retryWait(const host::Refusal& refusal, int refusedTries, double random01) {
    const double spread = std::clamp(random01, 0.0, 1.0);
    if (refusal.waitSeconds)
        // Up to a fifth more than asked: never sooner than the endpoint said.
        return std::min(*refusal.waitSeconds, longestHonouredWaitSeconds) * (1.0 + 0.2 * spread);
    const int doublings = std::clamp(refusedTries, 1, 32) - 1;
    // A quarter either side of the doubling, so ids refused together part.
    return std::min(firstBackoffSeconds * std::ldexp(1.0, doublings) * (0.75 + 0.5 * spread),
                    longestBackoffSeconds);
}

} // namespace zibbles::inspect

#include "hosts/inspect/InspectPacing.h"

#include <algorithm>

namespace zibbles::inspect {

RequestPacer::Ticket RequestPacer::sent(double at) {
    lastSent_ = std::max(lastSent_, at);
    return Ticket{sentCount_++, lastSent_};
}

void RequestPacer::answered(const Ticket&) {
    gap_ *= 1.0 - probePerAnswer;
}

void RequestPacer::refused(const Ticket& ticket) {
    if (marked_ && ticket.sequence < adjustedBefore_) {
        // Sent under the old spacing: it says nothing new, but a later refusal must not count
        // it as let through.
        if (ticket.sequence > mark_.sequence)
            refusedSinceMark_.insert(ticket.sequence);
        return;
    }
    if (!marked_) {
        gap_ = firstGapSeconds;
    } else {
        const auto refusedBetween = static_cast<std::uint64_t>(std::distance(
            refusedSinceMark_.begin(), refusedSinceMark_.lower_bound(ticket.sequence)));
        const std::uint64_t letThrough = ticket.sequence - mark_.sequence - 1 - refusedBetween;
        gap_ = letThrough > 0
                   ? (ticket.at - mark_.at) / static_cast<double>(letThrough) * (1.0 + margin)
                   : 2.0 * gap_;
    }
    gap_ = std::clamp(gap_, shortestGapSeconds, longestGapSeconds);
    marked_ = true;
    mark_ = ticket;
    adjustedBefore_ = sentCount_;
    refusedSinceMark_.erase(refusedSinceMark_.begin(),
                            refusedSinceMark_.upper_bound(ticket.sequence));
}

} // namespace zibbles::inspect

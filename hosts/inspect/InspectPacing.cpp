#include "hosts/inspect/InspectPacing.h"

#include <algorithm>

namespace zibbles::inspect {

std::uint64_t RequestPacer::sent(double at) {
    lastSent_ = std::max(lastSent_, at);
    sends_.push_back(Sent{lastSent_, false});
    return firstTicket_ + sends_.size() - 1;
}

void RequestPacer::answered(std::uint64_t) {
    gap_ *= 1.0 - probePerAnswer;
}

void RequestPacer::refused(std::uint64_t ticket) {
    if (ticket < firstTicket_ || ticket - firstTicket_ >= sends_.size())
        return; // sent before the mark: old news
    Sent& refused = sends_[ticket - firstTicket_];
    refused.refused = true;
    if (anyRefused_ && refused.at <= adjustedAt_)
        return;
    if (!anyRefused_) {
        gap_ = firstGapSeconds;
    } else {
        std::size_t letThrough = 0;
        for (const Sent& s : sends_)
            if (s.at > markAt_ && s.at < refused.at && !s.refused)
                ++letThrough;
        gap_ = letThrough > 0
                   ? (refused.at - markAt_) / static_cast<double>(letThrough) * (1.0 + margin)
                   : 2.0 * gap_;
    }
    gap_ = std::clamp(gap_, firstGapSeconds / 8.0, longestGapSeconds);
    anyRefused_ = true;
    markAt_ = refused.at;
    adjustedAt_ = lastSent_;
    // What was sent before the mark is never counted again.
    while (!sends_.empty() && sends_.front().at < markAt_) {
        sends_.pop_front();
        ++firstTicket_;
    }
}

} // namespace zibbles::inspect

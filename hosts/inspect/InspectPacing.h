#pragma once

// How fast to ask an endpoint that refuses when asked too fast: learnt from which requests it
// refused, so that a survey keeps to the endpoint's rate instead of finding it by running into it.
// Pure: times are seconds on the caller's clock, passed in.
//
// Endpoints that limit a client let through some requests a second, often with a small burst
// above that, and refuse the rest. Two refusals mark two moments at which the endpoint's
// allowance was spent; while it stayed spent in between, the requests it let through between
// them came at its rate. So after each refusal the requests are spaced by the time since the
// refusal before over the requests let through since (a twentieth more, to stay just under it),
// and the spacing shrinks a little with every answer, so that an endpoint that allows more is
// found again. Until the first refusal nothing is spaced; the first one starts at fifty requests
// a second. A refusal of a request sent before the spacing last changed says nothing new about
// it and changes nothing.

#include <cstdint>
#include <set>

namespace zibbles::inspect {

class RequestPacer {
  public:
    static constexpr double firstGapSeconds = 0.02;
    // Once refused, an endpoint is never asked faster than this, whatever a burst suggests.
    static constexpr double shortestGapSeconds = 0.0025;
    // An endpoint slower than one request in this many seconds is left to the refused ids'
    // own waits.
    static constexpr double longestGapSeconds = 2.0;
    static constexpr double margin = 0.05;         // spaced this much wider than the rate learnt
    static constexpr double probePerAnswer = 0.01; // the spacing shrinks this much per answer

    struct Ticket {
        std::uint64_t sequence = 0; // requests sent before this one
        double at = 0.0;
    };

    // The earliest moment the next request may start; any moment while nothing is spaced.
    double nextStart() const { return gap_ > 0.0 ? lastSent_ + gap_ : lastSent_; }
    bool paced() const { return gap_ > 0.0; }
    double gapSeconds() const { return gap_; }

    // A request started at `at` (never earlier than the one before).
    Ticket sent(double at);
    // Its answer was one (not a refusal).
    void answered(const Ticket& ticket);
    // The endpoint refused it.
    void refused(const Ticket& ticket);

  private:
    double gap_ = 0.0;
    double lastSent_ = 0.0;
    std::uint64_t sentCount_ = 0;
    bool marked_ = false;
    Ticket mark_;                      // the last refused request that changed the spacing
    std::uint64_t adjustedBefore_ = 0; // requests with a lower sequence went out before that
    std::set<std::uint64_t> refusedSinceMark_;
};

} // namespace zibbles::inspect

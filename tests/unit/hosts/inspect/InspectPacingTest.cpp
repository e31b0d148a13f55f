// The pacing rule against endpoints that refuse at once what comes faster than they allow, on a
// virtual clock: the rate a survey reaches, that no id spends its tries, and what a refusal may
// and may not teach the rule.

#include "hosts/inspect/InspectPacing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <vector>

namespace zibbles::inspect {
namespace {

// What a front end that limits requests does (a leaky bucket, as nginx's limit_req with
// nodelay): a request is let through when at most `burst` others are still "in the bucket",
// which drains at `rate` a second; the rest are refused at once.
class LimitingEndpoint {
  public:
    LimitingEndpoint(double rate, double burst) : rate_(rate), burst_(burst) {}
    bool letsThrough(double at) {
        const double excess = std::max(0.0, excess_ - (at - last_) * rate_) + 1.0;
        if (seen_ && excess > burst_ + 1.0)
            return false;
        excess_ = seen_ ? excess : 0.0;
        last_ = at;
        seen_ = true;
        return true;
    }

  private:
    double rate_, burst_;
    double excess_ = 0.0, last_ = 0.0;
    bool seen_ = false;
};

struct Survey {
    double seconds = 0.0;
    int mostTries = 0;
    double lastGap = 0.0;
};

// A survey of `ids` ids as the chain client runs it, answers coming back at once: up to eight
// at the start, a refused id asked again after the endpoint's Retry-After of 1 s, at most six
// tries an id, and every start at or after the pacer's next start.
Survey survey(LimitingEndpoint endpoint, int ids) {
    RequestPacer pacer;
    std::vector<int> tries(ids, 0);
    std::multimap<double, int> due; // refused ids and when they may be asked again
    int next = 0, settled = 0;
    double now = 0.0;
    Survey result;
    while (settled < ids) {
        // The first eight go out together, before any answer is in.
        std::vector<std::pair<int, RequestPacer::Ticket>> batch;
        do {
            int id = -1;
            if (!due.empty() && due.begin()->first <= now) {
                id = due.begin()->second;
                due.erase(due.begin());
            } else if (next < ids) {
                id = next++;
            } else {
                break;
            }
            ++tries[id];
            batch.emplace_back(id, pacer.sent(now));
        } while (!pacer.paced() && batch.size() < 8 && next < ids);
        for (const auto& [id, ticket] : batch) {
            if (endpoint.letsThrough(now)) {
                pacer.answered(ticket);
                ++settled;
            } else {
                pacer.refused(ticket);
                if (tries[id] < 6)
                    due.emplace(now + 1.0, id);
                else
                    ++settled;
            }
        }
        double wake = pacer.nextStart();
        if (next >= ids && !due.empty())
            wake = std::max(wake, due.begin()->first);
        now = std::max(now + 1e-3, wake);
        result.seconds = now;
    }
    result.mostTries = *std::max_element(tries.begin(), tries.end());
    result.lastGap = pacer.gapSeconds();
    return result;
}

TEST(RequestPacer, keepsAFrontThatRefusesAtOnceNearItsRate) {
    struct Case {
        double rate, burst;
        int ids;
    } cases[] = {{10, 2, 60}, {1, 0, 12}, {3, 1, 30}, {25, 5, 150}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " a second, burst " << c.burst);
        const Survey s = survey(LimitingEndpoint(c.rate, c.burst), c.ids);
        const double ideal = c.ids / c.rate;
        EXPECT_LE(s.seconds, 1.3 * ideal + 1.0); // the last refused id's own wait at most
        EXPECT_LT(s.mostTries, 6);
        // The spacing ends near the endpoint's own, never far faster.
        EXPECT_GT(s.lastGap * c.rate, 0.8);
        EXPECT_LT(s.lastGap * c.rate, 1.5);
    }
}

TEST(RequestPacer, learnsOnlyFromWhatItCanKnow) {
    RequestPacer pacer;
    // An endpoint that refuses nothing is never paced.
    for (int i = 0; i < 20; ++i)
        pacer.answered(pacer.sent(0.01 * i));
    EXPECT_FALSE(pacer.paced());
    EXPECT_EQ(pacer.nextStart(), 0.19);

    // Eight at once, five refused: one refusal's worth of news, not five.
    std::vector<RequestPacer::Ticket> burst;
    for (int i = 0; i < 8; ++i)
        burst.push_back(pacer.sent(1.0));
    for (int i = 3; i < 8; ++i)
        pacer.refused(burst[i]);
    EXPECT_DOUBLE_EQ(pacer.gapSeconds(), RequestPacer::firstGapSeconds);
    EXPECT_DOUBLE_EQ(pacer.nextStart(), 1.0 + RequestPacer::firstGapSeconds);

    // Refused again 1 s on with 4 let through in between (4 a second): spaced a twentieth wider.
    for (int i = 1; i <= 4; ++i)
        pacer.sent(1.0 + 0.2 * i);
    pacer.refused(pacer.sent(2.0));
    EXPECT_DOUBLE_EQ(pacer.gapSeconds(), 0.25 * 1.05);
    // Refused twice in a row, nothing let through: twice as wide, but never past the longest.
    for (int i = 0; i < 10; ++i)
        pacer.refused(pacer.sent(3.0 + i));
    EXPECT_DOUBLE_EQ(pacer.gapSeconds(), RequestPacer::longestGapSeconds);
    // A ticket from before the mark, refused late, changes nothing.
    pacer.refused(burst[0]);
    EXPECT_DOUBLE_EQ(pacer.gapSeconds(), RequestPacer::longestGapSeconds);
}

} // namespace
} // namespace zibbles::inspect

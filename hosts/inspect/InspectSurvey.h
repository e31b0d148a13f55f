#pragma once

// zibbles-inspect --survey: which ids to ask, and the summary of what they gave.

#include "hosts/inspect/InspectChainClient.h"
#include "hosts/inspect/InspectTokenReport.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace zibbles::inspect {

// Ids the saver may draw: the collection's range without the skip list.
std::size_t surveyableIdCount();

// count distinct ids drawn at random from those, ascending. count is at most surveyableIdCount().
std::vector<TokenId> surveyIds(std::size_t count, std::uint64_t seed);

class SurveySummary {
  public:
    SurveySummary(std::size_t asked, std::uint64_t seed) : asked_(asked), seed_(seed) {}

    // Main thread only, like every call below.
    void add(const TokenReport& report);
    void markInterrupted() { interrupted_ = true; }
    // The refusals, retries and pace of the asking, kept apart from the failures.
    void noteAsking(const AskingState& asking) { asking_ = asking; }

    std::size_t decoded() const { return decoded_; }
    std::size_t failed() const { return failed_; }

    // For people, several lines, each ending in a newline.
    std::string text() const;
    // One JSON object, no trailing newline.
    std::string json() const;

  private:
    struct Failures {
        std::size_t count = 0;
        std::vector<TokenId> examples; // the first three ids
    };
    using Group = std::pair<std::string, std::string>; // stage, reason
    std::vector<std::pair<Group, Failures>> groupsByCount() const;

    std::size_t asked_;
    std::uint64_t seed_;
    bool interrupted_ = false;
    AskingState asking_;
    std::size_t decoded_ = 0, failed_ = 0;
    std::map<Group, Failures> failures_;
    std::vector<double> rects_, answerBytes_, requestMilliseconds_;
};

} // namespace zibbles::inspect

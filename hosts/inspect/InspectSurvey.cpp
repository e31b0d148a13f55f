#include "hosts/inspect/InspectSurvey.h"

#include "Zibbles/supply/Config.h"
#include "Zibbles/supply/TokenChoice.h"
#include "hosts/inspect/InspectJson.h"
#include "platform/RandomSource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zibbles::inspect {

namespace {

constexpr std::size_t examplesPerGroup = 3;

std::vector<TokenId> surveyableIds() {
    std::vector<TokenId> ids;
    for (TokenId id = lowestTokenId; id <= highestTokenId; ++id)
        if (Config::skipTokenIds().count(id) == 0)
            ids.push_back(id);
    return ids;
}

// The nearest-rank percentile (0 < p <= 100) of values, which must not be empty.
double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p / 100.0 * values.size()));
    return values[std::max<std::size_t>(rank, 1) - 1];
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::string idList(const std::vector<TokenId>& ids, const char* separator) {
    std::string out;
    for (std::size_t i = 0; i < ids.size(); ++i)
        out += (i ? separator : "") + std::to_string(ids[i]);
    return out;
}

// {"min":..,"median":..,"max":..} or the like; null when nothing was measured.
std::string statsJson(const std::vector<double>& values,
                      const std::vector<std::pair<const char*, double>>& percentiles) {
    if (values.empty())
        return "null";
    std::string out = "{";
    for (const auto& [name, p] : percentiles)
        out += std::string(out.size() > 1 ? "," : "") + "\"" + name + "\":" +
               number(p <= 0.0 ? *std::min_element(values.begin(), values.end())
                               : percentile(values, p));
    return out + "}";
}

std::string statsText(const std::vector<double>& values,
                      const std::vector<std::pair<const char*, double>>& percentiles,
                      const char* unit) {
    if (values.empty())
        return "none";
    std::string out;
    for (const auto& [name, p] : percentiles)
        out += std::string(out.empty() ? "" : ", ") + name + " " +
               number(p <= 0.0 ? *std::min_element(values.begin(), values.end())
                               : percentile(values, p)) +
               unit;
    return out;
}

double perSecond(std::size_t count, double seconds) {
    return seconds > 0.0 ? std::round(static_cast<double>(count) / seconds * 10.0) / 10.0 : 0.0;
}

const std::vector<std::pair<const char*, double>> minMedianMax = {
    {"min", 0.0}, {"median", 50.0}, {"max", 100.0}};
const std::vector<std::pair<const char*, double>> medianMax = {{"median", 50.0}, {"max", 100.0}};
const std::vector<std::pair<const char*, double>> medianP95 = {{"median", 50.0}, {"p95", 95.0}};

} // namespace

std::size_t surveyableIdCount() {
    return surveyableIds().size();
}

std::vector<TokenId> surveyIds(std::size_t count, std::uint64_t seed) {
    std::vector<TokenId> ids = surveyableIds();
    count = std::min(count, ids.size());
    // The first count places of a Fisher-Yates shuffle: every subset is equally likely.
    platform::SeededRandom random(seed);
    for (std::size_t i = 0; i < count; ++i) {
        const auto j = static_cast<std::size_t>(random.uniformInt(
            static_cast<std::int64_t>(i), static_cast<std::int64_t>(ids.size() - 1)));
        std::swap(ids[i], ids[j]);
    }
    ids.resize(count);
    std::sort(ids.begin(), ids.end());
    return ids;
}

void SurveySummary::add(const TokenReport& report) {
    if (report.answerBytes)
        answerBytes_.push_back(static_cast<double>(*report.answerBytes));
    if (!report.requestError)
        requestMilliseconds_.push_back(std::round(report.seconds * 10000.0) / 10.0); // 0.1 ms
    if (report.decoded()) {
        ++decoded_;
        rects_.push_back(static_cast<double>(report.inspection.pixels.value->size()));
        return;
    }
    ++failed_;
    Failures& group = failures_[{report.failedStage(), report.failureReason()}];
    ++group.count;
    if (group.examples.size() < examplesPerGroup)
        group.examples.push_back(report.tokenId);
}

std::vector<std::pair<SurveySummary::Group, SurveySummary::Failures>>
SurveySummary::groupsByCount() const {
    std::vector<std::pair<Group, Failures>> groups(failures_.begin(), failures_.end());
    std::stable_sort(groups.begin(), groups.end(),
                     [](const auto& a, const auto& b) { return a.second.count > b.second.count; });
    return groups;
}

std::string SurveySummary::text() const {
    std::string out = "surveyed " + std::to_string(decoded_ + failed_) + " of " +
                      std::to_string(asked_) + " tokens (seed " + std::to_string(seed_) + ")" +
                      (interrupted_ ? ", interrupted" : "") + "\n";
    out += "decoded: " + std::to_string(decoded_) + "\nfailed: " + std::to_string(failed_) + "\n";
    for (const auto& [group, failures] : groupsByCount())
        out += "  " + std::to_string(failures.count) + " at " + group.first + ": " + group.second +
               " (e.g. " + idList(failures.examples, ", ") + ")\n";
    const AskingState& a = asking_;
    out += a.refused == 0 ? std::string("refused: none\n")
                          : "refused: " + std::to_string(a.refused) + " answers, " +
                                std::to_string(a.retried) + " asked again (" +
                                std::to_string(a.refusedTokens) + " tokens)\n";
    const double seconds = std::round(a.seconds * 10.0) / 10.0;
    out += "rate: " + number(perSecond(decoded_ + failed_, a.seconds)) + " tokens/s, " +
           number(perSecond(a.requests, a.seconds)) + " requests/s over " + number(seconds) +
           " s; " +
           (a.pacedPerSecond > 0.0
                ? "paced at " + number(std::round(a.pacedPerSecond * 10.0) / 10.0) +
                      " requests/s at the end\n"
                : "up to " + std::to_string(a.concurrency) + " at once, not paced\n");
    out += "rects per figure: " + statsText(rects_, minMedianMax, "") + "\n";
    out += "answer size: " + statsText(answerBytes_, medianMax, " bytes") + "\n";
    out += "request time: " + statsText(requestMilliseconds_, medianP95, " ms") + "\n";
    return out;
}

std::string SurveySummary::json() const {
    std::string out = "{\"asked\":" + std::to_string(asked_) +
                      ",\"seed\":" + std::to_string(seed_) +
                      ",\"interrupted\":" + (interrupted_ ? "true" : "false") +
                      ",\"decoded\":" + std::to_string(decoded_) +
                      ",\"failed\":" + std::to_string(failed_) + ",\"failures\":[";
    bool first = true;
    for (const auto& [group, failures] : groupsByCount()) {
        out += std::string(first ? "" : ",") + "{\"stage\":" + jsonQuoted(group.first) +
               ",\"reason\":" + jsonQuoted(group.second) +
               ",\"count\":" + std::to_string(failures.count) + ",\"examples\":[" +
               idList(failures.examples, ",") + "]}";
        first = false;
    }
    const AskingState& a = asking_;
    out += "],\"refused\":{\"count\":" + std::to_string(a.refused) +
           ",\"retried\":" + std::to_string(a.retried) +
           ",\"tokens\":" + std::to_string(a.refusedTokens) + "}";
    out += ",\"rate\":{\"requests\":" + std::to_string(a.requests) +
           ",\"seconds\":" + number(std::round(a.seconds * 1000.0) / 1000.0) +
           ",\"tokensPerSecond\":" + number(perSecond(decoded_ + failed_, a.seconds)) +
           ",\"requestsPerSecond\":" + number(perSecond(a.requests, a.seconds)) +
           ",\"concurrency\":" + std::to_string(a.concurrency) + ",\"pacedRequestsPerSecond\":" +
           (a.pacedPerSecond > 0.0 ? number(std::round(a.pacedPerSecond * 10.0) / 10.0)
                                   : std::string("null")) +
           "}";
    out += ",\"rects\":" + statsJson(rects_, minMedianMax) +
           ",\"answerBytes\":" + statsJson(answerBytes_, medianMax) +
           ",\"requestMilliseconds\":" + statsJson(requestMilliseconds_, medianP95) + "}";
    return out;
}

} // namespace zibbles::inspect

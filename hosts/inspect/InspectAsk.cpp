#include "hosts/inspect/InspectAsk.h"

#include "Zibbles/supply/Endpoint.h"
#include "hosts/common/HostOptions.h"
#include "hosts/inspect/InspectSurvey.h"
#include "hosts/inspect/InspectTokenIds.h"

#include <algorithm>
#include <cctype>
#include <random>

namespace zibbles::inspect {

namespace {

ChainPlanOrError failure(std::string error) {
    return ChainPlanOrError{std::nullopt, std::move(error)};
}

// Gives the error for an option that does not go with the mode, or nothing.
std::optional<std::string> misplacedOption(const Options& o) {
    const bool asks = o.tokenIds || o.surveyCount;
    if (o.tokenIds && o.surveyCount)
        return "--token and --survey do not go together";
    if (asks && (o.batch || o.inputPath || o.renderPath || o.renderSize || o.renderScale))
        return "--token and --survey ask the chain: they take no FILE, --batch or --render";
    if (!asks && (o.endpoint || o.contract))
        return "--endpoint and --contract go with --token or --survey";
    if (!o.surveyCount && (o.seed || o.json || o.contactSheetPath))
        return "--seed, --json and --contact-sheet go with --survey";
    return std::nullopt;
}

std::optional<std::string> contractOf(std::string_view text) {
    const bool hex = text.size() == 42 && text.starts_with("0x") &&
                     std::all_of(text.begin() + 2, text.end(), [](char c) {
                         return std::isxdigit(static_cast<unsigned char>(c));
                     });
    if (!hex)
        return std::nullopt;
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return lower;
}

ChainPlanOrError targetOf(const Options& o, ChainPlan plan) {
    plan.target.url = o.endpoint.value_or(std::string(Endpoint::rpcURL()));
    const bool web =
        plan.target.url.starts_with("http://") || plan.target.url.starts_with("https://");
    if (!web || !platform::isValidURL(plan.target.url))
        return failure(
            "option '--endpoint': expected an http:// or https:// URL with a host, got '" +
            plan.target.url + "'");
    const auto contract = contractOf(o.contract.value_or(std::string(Endpoint::contractAddress())));
    if (!contract)
        return failure("option '--contract': expected 0x and 40 hexadecimal digits, got '" +
                       o.contract.value_or("") + "'");
    plan.target.contract = *contract;
    return ChainPlanOrError{std::move(plan), {}};
}

ChainPlanOrError surveyPlanOf(const Options& o, ChainPlan plan) {
    plan.survey = true;
    const std::size_t most = surveyableIdCount();
    const auto count = host::parseSeed(*o.surveyCount);
    if (!count || *count < 1 || *count > most)
        return failure("option '--survey': expected a whole number from 1 to " +
                       std::to_string(most));
    if (o.seed) {
        const auto seed = host::parseSeed(*o.seed);
        if (!seed)
            return failure("option '--seed': expected a whole number from 0 to 2^64-1");
        plan.seed = *seed;
    } else {
        plan.seed = (std::uint64_t{std::random_device{}()} << 32) ^ std::random_device{}();
    }
    if (o.contactSheetPath && o.contactSheetPath->empty())
        return failure("option '--contact-sheet' needs a file name");
    if (o.contactSheetPath && *count > maximumSheetFigures)
        return failure("--contact-sheet draws at most " + std::to_string(maximumSheetFigures) +
                       " figures; survey fewer tokens");
    plan.json = o.json;
    plan.contactSheetPath = o.contactSheetPath;
    plan.ids = surveyIds(static_cast<std::size_t>(*count), plan.seed);
    return ChainPlanOrError{std::move(plan), {}};
}

} // namespace

ChainPlanOrError chainPlanOf(const Options& o) {
    if (const auto error = misplacedOption(o))
        return failure(*error);
    if (!o.tokenIds && !o.surveyCount)
        return failure("");
    ChainPlanOrError withTarget = targetOf(o, ChainPlan{});
    if (!withTarget.plan)
        return withTarget;
    if (o.surveyCount)
        return surveyPlanOf(o, std::move(*withTarget.plan));
    TokenIdList listed = parseTokenIds(*o.tokenIds);
    if (listed.ids.empty())
        return failure("option '--token': " + listed.error);
    withTarget.plan->ids = std::move(listed.ids);
    return withTarget;
}

} // namespace zibbles::inspect

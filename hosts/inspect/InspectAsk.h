#pragma once

// zibbles-inspect --token and --survey: the command line checked into a plan, and the plan run
// against the chain.

#include "hosts/inspect/InspectChainClient.h"
#include "hosts/inspect/InspectOptions.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zibbles::inspect {

// A contact sheet beyond this many figures would be a picture of hundreds of megabytes.
constexpr std::size_t maximumSheetFigures = 4096;

struct ChainPlan {
    ChainTarget target;
    std::vector<TokenId> ids; // ascending
    bool survey = false;
    std::uint64_t seed = 0; // the survey's, said in its summary so it can be run again
    bool json = false;
    std::optional<std::string> contactSheetPath;
};

struct ChainPlanOrError {
    std::optional<ChainPlan> plan;
    std::string error; // for people; empty with no plan when the command line asks no chain
};

// Also refuses chain options on a command line that asks no chain.
ChainPlanOrError chainPlanOf(const Options& options);

// Writes the answers or the summary on standard output; gives the exit status.
int runChainPlan(const ChainPlan& plan);

} // namespace zibbles::inspect

#pragma once

// The services a host hands its views, made from the command line's choices.

#include "hosts/common/StatusReporter.h"
#include "platform/Clock.h"
#include "platform/Environment.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace zibbles::host {

enum class Network { Real, None };

struct EnvironmentChoices {
    std::shared_ptr<platform::Clock> clock;
    std::optional<std::uint64_t> seed;    // none: seeded from the OS
    double mainScreenScale = 1.0;         // device pixels per point
    Network network = Network::Real;      // None: no URL session, so no fetch ever starts
    std::optional<std::string> tracePath; // the platform's trace, as JSON lines
    std::optional<std::string> endpoint;  // the JSON-RPC endpoint; none: the build's
    StatusSink statusLines;               // why no figure shows; empty: no status lines
};

struct MadeEnvironment {
    std::optional<platform::Environment> environment;
    std::string error; // for people, when environment is empty
};

MadeEnvironment makeEnvironment(const EnvironmentChoices& choices);

// What every saver takes from its command line's shared options (seed, trace, network,
// endpoint); the main screen's scale is left to the caller, who knows its screens.
template <class Options>
EnvironmentChoices saverEnvironmentChoices(const Options& o, StatusSink statusLines) {
    EnvironmentChoices choices;
    choices.clock = std::make_shared<platform::MonotonicClock>();
    choices.seed = o.seed;
    choices.network = o.noNetwork ? Network::None : Network::Real;
    choices.tracePath = o.tracePath;
    choices.endpoint = o.endpoint;
    choices.statusLines = std::move(statusLines);
    return choices;
}

} // namespace zibbles::host

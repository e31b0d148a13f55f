#include "hosts/common/HostEnvironment.h"

#include "platform/HttpSession.h"

namespace zibbles::host {

MadeEnvironment makeEnvironment(const EnvironmentChoices& choices) {
    platform::Environment environment;
    environment.mainQueue = std::make_shared<platform::MainQueue>(choices.clock);
    environment.random = std::make_shared<platform::SeededRandom>(choices.seed);
    environment.mainScreen = std::make_shared<platform::Screen>(choices.mainScreenScale);
    if (choices.tracePath) {
        environment.trace = platform::Trace::toFile(*choices.tracePath, choices.clock);
        if (!environment.trace)
            return {std::nullopt, "cannot write the trace '" + *choices.tracePath + "'"};
    }
    environment.endpointOverride = choices.endpoint.value_or("");
    if (choices.network == Network::Real)
        environment.session = platform::makeSystemSession(environment.trace);
    if (environment.session && choices.statusLines) {
        auto reporter = std::make_shared<StatusReporter>(choices.clock, timeOfDayOf(choices.clock),
                                                         choices.statusLines);
        environment.fetchObserver = reportStatus(std::move(reporter), environment.mainQueue);
    }
    return {std::move(environment), {}};
}

} // namespace zibbles::host

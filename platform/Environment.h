#pragma once

// The services a host gives each view. A host makes one and hands it to every view it creates;
// nothing here is a global, so a preview view and a full-screen view can live side by side.

#include "platform/FetchObserver.h"
#include "platform/HttpSession.h"
#include "platform/MainQueue.h"
#include "platform/RandomSource.h"
#include "platform/Screen.h"
#include "platform/Trace.h"

#include <memory>
#include <string>

namespace zibbles::platform {

struct Environment {
    std::shared_ptr<MainQueue> mainQueue; // required
    std::shared_ptr<RandomSource> random; // required
    std::shared_ptr<HttpSession> session; // may be null: then no request is ever started
    std::shared_ptr<Screen> mainScreen;   // may be null: no screen
    std::shared_ptr<Trace> trace;         // may be null: no trace
    FetchObserver fetchObserver;          // may be empty: nobody watches the fetches

    // For tests and hosts: the JSON-RPC endpoint to ask instead of the build's (empty: the
    // build's endpoint).
    std::string endpointOverride;
    // For tests: the fetch's timeout in seconds instead of the build's 12 (0: the build's).
    double requestTimeoutOverride = 0.0;
};

} // namespace zibbles::platform

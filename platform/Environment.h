#pragma once

// The services a host gives each view. A host makes one and hands it to every view it creates;
// nothing here is a global, so a preview view and a full-screen view can live side by side.

#include "platform/HttpSession.h"
#include "platform/MainQueue.h"
#include "platform/RandomSource.h"
#include "platform/Screen.h"
#include "platform/Trace.h"

#include <memory>

namespace zibbles::platform {

struct Environment {
    std::shared_ptr<MainQueue> mainQueue;    // required
    std::shared_ptr<RandomSource> random;    // required
    std::shared_ptr<HttpSession> session;    // may be null: then no request is ever started
    std::shared_ptr<Screen> mainScreen;      // may be null: no screen
    std::shared_ptr<Trace> trace;            // may be null: no trace
};

} // namespace zibbles::platform

#pragma once

// The status lines for people: why the screen stays grey, and when figures return. The module
// stays silent; the reporter learns from the URL session what each fetch brought.
//   "no figures from URL: connection refused (3 requests failed in a row); will try again"
//   "still no figures: 38 requests failed since 14:02"            at most once a minute
//   "figures again from URL after 41 failed requests"
// A run whose fetches bring figures says nothing, and so does one odd token that does not decode.
// What counts as a figure is the fetch's own verdict: the reporter decodes nothing.

#include "platform/Clock.h"
#include "platform/FetchObserver.h"
#include "platform/MainQueue.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace zibbles::host {

// Takes one line, without the program's name or a newline; empty: status lines are off.
using StatusSink = std::function<void(const std::string& line)>;

// What one finished request means to a person.
struct RequestOutcome {
    enum class Kind { Figure, Failure, Cancelled } kind = Kind::Figure;
    std::string url;
    std::string failure; // in words, for a failure: "connection refused", "HTTP status 503", ...
};

// Any thread. A failure is worded as the inspector words it.
RequestOutcome outcomeOf(const platform::FetchOutcome& fetch);

class StatusReporter {
  public:
    static constexpr int failuresBeforeReport = 3;
    static constexpr double secondsBetweenReminders = 60.0;

    // timeOfDay gives "14:02" for the clock's present moment.
    StatusReporter(std::shared_ptr<platform::Clock> clock, std::function<std::string()> timeOfDay,
                   StatusSink sink);

    // Main thread only.
    void note(const RequestOutcome& outcome);

  private:
    void noteFigure(const RequestOutcome& outcome);
    void noteFailure(const RequestOutcome& outcome);

    std::shared_ptr<platform::Clock> clock_;
    std::function<std::string()> timeOfDay_;
    StatusSink sink_;
    int failuresInRow_ = 0;
    std::string failingSince_;         // time of day of the streak's first failure
    std::optional<double> lastLineAt_; // set while a reported streak goes on
};

// "HH:MM": of the wall clock for a real clock, of the clock's own seconds (from 00:00) for a
// virtual one, so a fast-forwarded run tells the same times every time.
std::function<std::string()> timeOfDayOf(std::shared_ptr<platform::Clock> clock);

// The fetches' observer: every outcome but a cancellation goes to the reporter through the main
// queue.
platform::FetchObserver reportStatus(std::shared_ptr<StatusReporter> reporter,
                                     std::shared_ptr<platform::MainQueue> queue);

// Lines on standard error, after the program's name; none when quiet.
StatusSink statusLinesOnStandardError(std::string program, bool quiet);

} // namespace zibbles::host

#include "hosts/common/StatusReporter.h"

#include "hosts/common/LocalTime.h"
#include "hosts/common/Refusal.h"
#include "platform/HttpFailureText.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <iostream>

namespace zibbles::host {

namespace {

using Kind = RequestOutcome::Kind;

std::string clockFace(long long minutesOfDay) {
    char text[8];
    std::snprintf(text, sizeof text, "%02lld:%02lld", minutesOfDay / 60 % 24, minutesOfDay % 60);
    return text;
}

} // namespace

RequestOutcome outcomeOf(const platform::FetchOutcome& fetch) {
    if (fetch.error) {
        if (fetch.error->is(platform::HttpErrorCode::Cancelled))
            return {Kind::Cancelled, fetch.url, {}};
        return {Kind::Failure, fetch.url,
                platform::describeHttpError(*fetch.error, fetch.timeoutSeconds)};
    }
    // The fetch reads the body whatever the status says, so a figure is a figure even then.
    if (fetch.figure)
        return {Kind::Figure, fetch.url, {}};
    // An endpoint that refuses is named as such: the person can do nothing but wait.
    if (fetch.response)
        if (auto refusal = refusalOf(*fetch.response, fetch.body.value_or(""),
                                     std::chrono::system_clock::now()))
            return {Kind::Failure, fetch.url, std::move(refusal->words)};
    const long status = fetch.response ? fetch.response->statusCode : 0;
    if (status != 0 && (status < 200 || status > 299))
        return {Kind::Failure, fetch.url, platform::describeHttpStatus(status)};
    return {Kind::Failure, fetch.url, std::string(fetch.notFigure)};
}

StatusReporter::StatusReporter(std::shared_ptr<platform::Clock> clock,
                               std::function<std::string()> timeOfDay, StatusSink sink)
    : clock_(std::move(clock)), timeOfDay_(std::move(timeOfDay)), sink_(std::move(sink)) {}

void StatusReporter::note(const RequestOutcome& outcome) {
    if (outcome.kind == Kind::Figure)
        noteFigure(outcome);
    else if (outcome.kind == Kind::Failure)
        noteFailure(outcome);
}

void StatusReporter::noteFigure(const RequestOutcome& outcome) {
    if (lastLineAt_)
        sink_("figures again from " + outcome.url + " after " + std::to_string(failuresInRow_) +
              " failed requests");
    failuresInRow_ = 0;
    lastLineAt_.reset();
}

void StatusReporter::noteFailure(const RequestOutcome& outcome) {
    if (++failuresInRow_ == 1)
        failingSince_ = timeOfDay_();
    const double now = clock_->now();
    if (!lastLineAt_) {
        if (failuresInRow_ < failuresBeforeReport)
            return;
        sink_("no figures from " + outcome.url + ": " + outcome.failure + " (" +
              std::to_string(failuresInRow_) + " requests failed in a row); will try again");
        lastLineAt_ = now;
        return;
    }
    if (now - *lastLineAt_ < secondsBetweenReminders)
        return;
    sink_("still no figures: " + std::to_string(failuresInRow_) + " requests failed since " +
          failingSince_);
    lastLineAt_ = now;
}

std::function<std::string()> timeOfDayOf(std::shared_ptr<platform::Clock> clock) {
    if (clock->isVirtual())
        return [clock] { return clockFace(std::llround(std::floor(clock->now() / 60.0))); };
    return [] {
        const std::tm local = localTimeOf(std::time(nullptr));
        return clockFace(local.tm_hour * 60LL + local.tm_min);
    };
}

platform::FetchObserver reportStatus(std::shared_ptr<StatusReporter> reporter,
                                     std::shared_ptr<platform::MainQueue> queue) {
    // Session thread: only wording happens here; the reporter's state is the main thread's.
    return [reporter = std::move(reporter),
            queue = std::move(queue)](const platform::FetchOutcome& fetch) {
        RequestOutcome outcome = outcomeOf(fetch);
        if (outcome.kind == Kind::Cancelled)
            return;
        queue->async([reporter, outcome = std::move(outcome)] { reporter->note(outcome); });
    };
}

StatusSink statusLinesOnStandardError(std::string program, bool quiet) {
    if (quiet)
        return {};
    return [program = std::move(program)](const std::string& line) {
        std::cerr << program << ": " << line << std::endl;
    };
}

} // namespace zibbles::host

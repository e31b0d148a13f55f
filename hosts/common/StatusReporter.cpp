#include "hosts/common/StatusReporter.h"

#include "Zibbles/decode/TokenChain.h"
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

RequestOutcome outcomeOf(const platform::FinishedRequest& finished) {
    if (finished.error) {
        if (finished.error->is(platform::HttpErrorCode::Cancelled))
            return {Kind::Cancelled, finished.url, {}};
        return {Kind::Failure, finished.url,
                platform::describeHttpError(*finished.error, finished.timeoutSeconds)};
    }
    // The fetch reads the body whatever the status says, so a figure is a figure even then.
    const Decoded<Pixels> pixels = decodeRpcResponse(finished.body.value_or(""));
    if (pixels)
        return {Kind::Figure, finished.url, {}};
    const long status = finished.response ? finished.response->statusCode : 0;
    if (status != 0 && (status < 200 || status > 299))
        return {Kind::Failure, finished.url, platform::describeHttpStatus(status)};
    return {Kind::Failure, finished.url, pixels.error.message};
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
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        return clockFace(local.tm_hour * 60LL + local.tm_min);
    };
}

std::shared_ptr<platform::HttpSession> reportStatus(std::shared_ptr<platform::HttpSession> session,
                                                    std::shared_ptr<StatusReporter> reporter,
                                                    std::shared_ptr<platform::MainQueue> queue) {
    // Session thread: the decoding happens here, off the main thread, as the fetch's own does.
    return platform::observeRequests(
        std::move(session), [reporter = std::move(reporter),
                             queue = std::move(queue)](const platform::FinishedRequest& finished) {
            RequestOutcome outcome = outcomeOf(finished);
            if (outcome.kind == Kind::Cancelled)
                return;
            queue->async([reporter, outcome = std::move(outcome)] { reporter->note(outcome); });
        });
}

StatusSink statusLinesOnStandardError(std::string program, bool quiet) {
    if (quiet)
        return {};
    return [program = std::move(program)](const std::string& line) {
        std::cerr << program << ": " << line << std::endl;
    };
}

} // namespace zibbles::host

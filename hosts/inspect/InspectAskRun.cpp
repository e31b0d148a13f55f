// Running a chain plan: the tokens asked in id order, their lines or the survey's summary out.
//
//   runChainPlan
//   ├── --token   ChainClient::askAll → reportOf → tokenReportJson, one line per id, in id order
//   └── --survey  InterruptWatch (Ctrl-C stops the asking) → askAll → SurveySummary::add,
//                 ProgressLine on a terminal, kept figures → drawContactSheet → writePng,
//                 summary text or JSON on standard output
// Both show on the progress line when refused tokens wait for the endpoint.

#include "Zibbles/ContentBounds.h"
#include "Zibbles/ZibblesBounceView.h"
#include "hosts/common/ContactSheet.h"
#include "hosts/common/ExitCodes.h"
#include "hosts/inspect/InspectAsk.h"
#include "hosts/inspect/InspectInterrupt.h"
#include "hosts/inspect/InspectOutput.h"
#include "hosts/inspect/InspectProgress.h"
#include "hosts/inspect/InspectSurvey.h"
#include "platform/PngWriter.h"
#include "platform/curl/HttpSessionCurl.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <iostream>

namespace zibbles::inspect {

namespace {

using host::kExitFailed;
using host::kExitInterrupted;
using host::kExitOk;

std::function<void(const AskingState&)> showWaiting(ProgressLine& progress) {
    return [&progress](const AskingState& state) {
        progress.waiting(state.waiting, state.nextTryInSeconds);
    };
}

int runTokens(const ChainPlan& plan) {
    OutputBuffer out(STDOUT_FILENO);
    // The answers' own lines would break a progress line drawn on the same terminal.
    ProgressLine progress(::isatty(STDOUT_FILENO) ? -1 : STDERR_FILENO, plan.ids.size());
    ChainClient client(platform::makeCurlSession(), plan.target);
    bool allDecoded = true;
    std::size_t done = 0;
    client.askAll(
        plan.ids,
        [&](TokenAnswer answer) {
            const TokenReport report = reportOf(std::move(answer));
            allDecoded = allDecoded && report.decoded();
            out.write(tokenReportJson(report) + "\n");
            out.flush(); // each line as soon as it is known, for a person watching
            progress.update(++done);
        },
        showWaiting(progress));
    progress.erase();
    if (!out.flush()) {
        std::cerr << "zibbles-inspect: cannot write the answers: "
                  << std::strerror(out.writeError()) << "\n";
        return kExitFailed;
    }
    return allDecoded ? kExitOk : kExitFailed;
}

std::optional<std::string> writeSheet(const std::string& path,
                                      const std::vector<LoadedZibble>& figures) {
    // Square-ish for a large survey, the headless host's eight a row for a small one.
    host::ContactSheetLayout layout;
    const auto side = static_cast<std::int64_t>(std::ceil(std::sqrt(double(figures.size()))));
    layout.perRow = std::clamp<std::int64_t>(side, 8, 64);
    const auto sheet = host::drawContactSheet(
        figures, platform::Color::white(ZibblesBounceView::backgroundWhite, 1.0), layout);
    const auto png = sheet ? platform::writePng(path, *sheet) : platform::PngResult{false, "empty"};
    if (!png.ok)
        return "cannot write the contact sheet '" + path + "': " + png.error;
    return std::nullopt;
}

struct SurveyRun {
    SurveySummary summary;
    std::vector<LoadedZibble> figures; // in id order, kept only for a contact sheet
    bool interrupted = false;
};

SurveyRun survey(const ChainPlan& plan) {
    SurveyRun run{SurveySummary(plan.ids.size(), plan.seed), {}, false};
    std::atomic<ChainClient*> asking{nullptr};
    // Made before the session, so that the session's thread never takes Ctrl-C itself.
    std::optional<InterruptWatch> watch(std::in_place, [&asking] {
        if (ChainClient* client = asking.load())
            client->stop();
    });
    ChainClient client(platform::makeCurlSession(), plan.target);
    asking = &client;
    if (watch->interrupted())
        client.stop();
    ProgressLine progress(STDERR_FILENO, plan.ids.size());
    std::size_t done = 0;
    client.askAll(
        plan.ids,
        [&](TokenAnswer answer) {
            const TokenReport report = reportOf(std::move(answer));
            run.summary.add(report);
            if (plan.contactSheetPath && report.decoded()) {
                const Pixels& pixels = *report.inspection.pixels.value;
                run.figures.push_back(LoadedZibble{report.tokenId, pixels, contentBounds(pixels)});
            }
            progress.update(++done);
        },
        showWaiting(progress));
    progress.erase();
    run.summary.noteAsking(client.state());
    run.interrupted = watch->interrupted();
    watch.reset(); // joined before the client it may stop goes
    if (run.interrupted)
        run.summary.markInterrupted();
    return run;
}

int runSurvey(const ChainPlan& plan) {
    if (plan.contactSheetPath)
        if (const auto problem = host::sheetFolderProblem(*plan.contactSheetPath)) {
            std::cerr << "zibbles-inspect: " << *problem << "\n";
            return kExitFailed;
        }
    const SurveyRun run = survey(plan);
    std::cout << (plan.json ? run.summary.json() + "\n" : run.summary.text()) << std::flush;
    if (plan.contactSheetPath)
        if (const auto problem = writeSheet(*plan.contactSheetPath, run.figures)) {
            std::cerr << "zibbles-inspect: " << *problem << "\n";
            return kExitFailed;
        }
    if (run.interrupted)
        return kExitInterrupted;
    return run.summary.failed() == 0 ? kExitOk : kExitFailed;
}

} // namespace

int runChainPlan(const ChainPlan& plan) {
    return plan.survey ? runSurvey(plan) : runTokens(plan);
}

} // namespace zibbles::inspect

#include "hosts/inspect/InspectTokenReport.h"

#include "Zibbles/supply/RpcRequest.h"
#include "hosts/inspect/InspectJson.h"
#include "platform/HttpFailureText.h"

namespace zibbles::inspect {

namespace {

bool statusIsSuccess(const std::optional<platform::HttpResponse>& response) {
    return !response || (response->statusCode >= 200 && response->statusCode < 300);
}

} // namespace

std::string TokenReport::failedStage() const {
    return requestError ? "request" : stageName(inspection.pixels.error.stage);
}

std::string TokenReport::failureReason() const {
    return requestError ? *requestError : inspection.pixels.error.message;
}

TokenReport reportOf(TokenAnswer answer) {
    TokenReport report;
    report.tokenId = answer.tokenId;
    report.seconds = answer.seconds;
    report.refusals = answer.refusals;
    if (answer.refusedEveryTry) {
        report.requestError =
            *answer.refusedEveryTry + "; refused all " + std::to_string(answer.refusals) + " tries";
        return report;
    }
    if (answer.error && !answer.body) {
        report.requestError = platform::describeHttpError(*answer.error, tokenRequestTimeout);
        return report;
    }
    const std::string body = answer.body.value_or("");
    report.answerBytes = body.size();
    report.inspection = host::decodeStaged(body, host::InputKinds::RpcOnly);
    if (!report.inspection.pixels && !statusIsSuccess(answer.response))
        report.requestError = platform::describeHttpStatus(answer.response->statusCode) + "; " +
                              report.inspection.pixels.error.message;
    return report;
}

std::string tokenReportJson(const TokenReport& report) {
    std::string line = "{\"token\":" + std::to_string(report.tokenId) + ",";
    line += report.requestError ? failureBeforeStagesJson("request", *report.requestError).substr(1)
                                : inspectionJson(report.inspection).substr(1);
    if (report.refusals > 0)
        line.insert(line.size() - 1, ",\"refused\":" + std::to_string(report.refusals));
    return line;
}

} // namespace zibbles::inspect

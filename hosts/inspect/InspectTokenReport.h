#pragma once

// What zibbles-inspect says of one token asked of the chain: the decoding as --batch gives it, or
// why the request brought no answer to decode.

#include "hosts/common/StagedDecoding.h"
#include "hosts/inspect/InspectChainClient.h"

#include <optional>
#include <string>

namespace zibbles::inspect {

struct TokenReport {
    TokenId tokenId = 0;
    host::StagedDecoding inspection;         // meaningful when requestError is empty
    std::optional<std::string> requestError; // "connection refused", "HTTP status 503; ..."
    std::optional<std::size_t> answerBytes;  // the body's size, when one came
    double seconds = 0.0;
    int refusals = 0; // of the requests for this token, the ones the endpoint refused

    bool decoded() const { return !requestError && inspection.pixels; }
    // "request", or the stage that failed ("rpc", "abi", "uri", "svg"). Not for a decoded token.
    std::string failedStage() const;
    std::string failureReason() const;
};

// A body under a status other than 2xx counts when it decodes, as it does in the saver; otherwise
// the status is named before the decoding's reason. A token whose every try was refused fails at
// the request, named by the last refusal.
TokenReport reportOf(TokenAnswer answer);

// The --batch line with "token" first: {"token":42,"stages":[...],...}; a request that failed is
// {"token":42,"stages":[],"pixels":null,"stage":"request","error":"..."}. When the endpoint
// refused some of its requests, "refused":N comes last. No trailing newline.
std::string tokenReportJson(const TokenReport& report);

} // namespace zibbles::inspect

#pragma once

// Asks a chain for tokens' URIs as the saver does (the same eth_call, header and 12 s timeout),
// through the platform's URL session: at most eight requests at once, answers handed over in the
// order the ids were given. An endpoint that refuses (host::refusalOf) is asked again after the
// wait it names or a backoff, at most six tries per id (InspectRetry.h), and requests start no
// faster than the rate learnt from its refusals (InspectPacing.h).

#include "Zibbles/LoadedZibble.h"
#include "hosts/common/Refusal.h"
#include "hosts/inspect/InspectPacing.h"
#include "platform/HttpSession.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zibbles::inspect {

struct ChainTarget {
    std::string url;      // an http:// or https:// URL
    std::string contract; // "0x" and 40 lower-case hexadecimal digits
};

struct TokenAnswer {
    TokenId tokenId = 0;
    std::optional<std::string> body; // absent after a transport error
    std::optional<platform::HttpResponse> response;
    std::optional<platform::HttpError> error;
    double seconds = 0.0; // from the start of the last request to its completion
    int refusals = 0;     // of this id's requests, the ones the endpoint refused
    // The last refusal's words when every try was refused; the answer is then that refusal.
    std::optional<std::string> refusedEveryTry;
};

// What the asking has been through so far, for the summary and the progress line.
struct AskingState {
    std::size_t requests = 0;      // sent, retries included
    std::size_t refused = 0;       // answers that were refusals
    std::size_t retried = 0;       // requests that asked a refused id again
    std::size_t refusedTokens = 0; // ids refused at least once
    std::size_t concurrency = 0;   // requests allowed under way at once
    double pacedPerSecond = 0.0;   // the pace learnt from refusals; 0 while none came
    std::size_t waiting = 0;       // refused ids waiting to be asked again
    double nextTryInSeconds = 0.0; // until the first of them is, when one waits
    double seconds = 0.0;          // since the asking began
};

class ChainClient {
  public:
    static constexpr std::size_t maximumInFlight = 8;

    ChainClient(std::shared_ptr<platform::HttpSession> session, ChainTarget target);
    ~ChainClient();

    // Main thread. Calls onAnswer, on this thread, once per id in the order given, and onState
    // (if given) when ids start or stop waiting for the endpoint, and a few times a second while
    // one waits. After stop() the requests under way are cancelled, the waiting ids are given up,
    // and only the answers that had arrived are handed over (in order, with gaps); the result is
    // then false.
    bool askAll(const std::vector<TokenId>& ids, const std::function<void(TokenAnswer)>& onAnswer,
                const std::function<void(const AskingState&)>& onState = {});

    // Main thread, after askAll.
    AskingState state() const;

    // Any thread (a signal watcher's).
    void stop();

  private:
    struct Shared;
    struct Asking;
    void start(std::size_t index, TokenId tokenId, RequestPacer::Ticket ticket);

    std::shared_ptr<platform::HttpSession> session_;
    ChainTarget target_;
    std::shared_ptr<Shared> shared_;
    AskingState state_;
};

} // namespace zibbles::inspect

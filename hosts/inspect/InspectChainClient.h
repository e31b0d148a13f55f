#pragma once

// Asks a chain for tokens' URIs as the saver does (the same eth_call, header and 12 s timeout),
// through the platform's URL session: at most eight requests at once, answers handed over in the
// order the ids were given.

#include "Zibbles/LoadedZibble.h"
#include "platform/HttpSession.h"

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
    double seconds = 0.0; // from the start of the request to its completion
};

class ChainClient {
  public:
    static constexpr std::size_t maximumInFlight = 8;

    ChainClient(std::shared_ptr<platform::HttpSession> session, ChainTarget target);
    ~ChainClient();

    // Main thread. Calls onAnswer, on this thread, once per id in the order given. After stop()
    // the requests under way are cancelled and only the answers that had arrived are handed over
    // (in order, with gaps); the result is then false.
    bool askAll(const std::vector<TokenId>& ids, const std::function<void(TokenAnswer)>& onAnswer);

    // Any thread (a signal watcher's).
    void stop();

  private:
    struct Shared;
    void start(std::size_t index, TokenId tokenId);

    std::shared_ptr<platform::HttpSession> session_;
    ChainTarget target_;
    std::shared_ptr<Shared> shared_;
};

} // namespace zibbles::inspect

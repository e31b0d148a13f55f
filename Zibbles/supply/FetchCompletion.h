#pragma once

// The end of a fetch: on the session's thread the answer is decoded with pure functions, then one
// outcome per fetch goes to the main queue, where the view files it if it still exists.

#include "Zibbles/ZibblesBounceView.h"
#include "Zibbles/decode/Decoded.h"
#include "platform/FetchObserver.h"
#include "platform/HttpSession.h"
#include "platform/MainQueue.h"

#include <memory>
#include <optional>
#include <string>

namespace zibbles {

// The token a JSON-RPC answer holds, or why none: no body, not a JSON object, no "result" string,
// or a result that decodes to no pixel. The HTTP status and any error object are not looked at.
// This is what a figure is, wherever one is judged. Any thread.
Decoded<LoadedZibble> decodeAnswer(TokenId tokenId, const std::optional<std::string>& body);
// As decodeAnswer, without the reason.
std::optional<LoadedZibble> loadedZibbleFromAnswer(TokenId tokenId,
                                                   const std::optional<std::string>& body);

// Where a fetch went, for its observer.
struct FetchRequestFacts {
    std::string url;
    double timeoutSeconds = 0.0;
};

// The data task's completion for one fetch. It holds the view weakly: when the view is gone it
// decodes nothing, and on the main thread finishFetch runs only while the view still exists. The
// observer, when there is one, hears the fetch's own verdict before it is posted.
platform::HttpCompletion makeFetchCompletion(std::weak_ptr<ZibblesBounceView> view, TokenId tokenId,
                                             std::shared_ptr<platform::MainQueue> mainQueue,
                                             FetchRequestFacts facts = {},
                                             platform::FetchObserver observer = {});

} // namespace zibbles

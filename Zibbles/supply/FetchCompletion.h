#pragma once

// The end of a fetch: on the session's thread the answer is decoded with pure functions, then one
// outcome per fetch goes to the main queue, where the view files it if it still exists.

#include "Zibbles/ZibblesBounceView.h"
#include "platform/HttpSession.h"
#include "platform/MainQueue.h"

#include <memory>
#include <optional>
#include <string>

namespace zibbles {

// The token a JSON-RPC answer holds, or none: no body, not a JSON object, no "result" string, or
// a result that decodes to no pixel. The HTTP status and any error object are not looked at.
// Any thread.
std::optional<LoadedZibble> loadedZibbleFromAnswer(TokenId tokenId,
                                                   const std::optional<std::string>& body);

// The data task's completion for one fetch. It holds the view weakly: when the view is gone it
// decodes nothing, and on the main thread finishFetch runs only while the view still exists.
platform::HttpCompletion makeFetchCompletion(std::weak_ptr<ZibblesBounceView> view, TokenId tokenId,
                                             std::shared_ptr<platform::MainQueue> mainQueue);

} // namespace zibbles

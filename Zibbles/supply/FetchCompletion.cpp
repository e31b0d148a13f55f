#include "Zibbles/supply/FetchCompletion.h"

#include "Zibbles/ContentBounds.h"
#include "Zibbles/decode/TokenChain.h"

namespace zibbles {

std::optional<LoadedZibble> loadedZibbleFromAnswer(TokenId tokenId,
                                                   const std::optional<std::string>& body) {
    if (!body)
        return std::nullopt;
    auto pixels = decodeRpcResponse(*body);
    if (!pixels.value)
        return std::nullopt;
    const Rect content = contentBounds(*pixels.value);
    return LoadedZibble{tokenId, std::move(*pixels.value), content};
}

platform::HttpCompletion makeFetchCompletion(std::weak_ptr<ZibblesBounceView> view, TokenId tokenId,
                                             std::shared_ptr<platform::MainQueue> mainQueue) {
    return [view = std::move(view), tokenId, mainQueue = std::move(mainQueue)](
               std::optional<std::string> body, std::optional<platform::HttpResponse>,
               std::optional<platform::HttpError> error) {
        // Session thread. The view is only looked at, never held, here: holding it could make
        // this thread the one that destroys it.
        if (view.expired())
            return;
        auto loaded = loadedZibbleFromAnswer(tokenId, body);
        mainQueue->async([view, tokenId, loaded = std::move(loaded), error = std::move(error)] {
            if (const auto strong = view.lock())
                strong->finishFetch(tokenId, loaded, error);
        });
    };
}

} // namespace zibbles

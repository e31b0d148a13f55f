#include "Zibbles/supply/FetchCompletion.h"

#include "Zibbles/ContentBounds.h"
#include "Zibbles/decode/TokenChain.h"

namespace zibbles {

Decoded<LoadedZibble> decodeAnswer(TokenId tokenId, const std::optional<std::string>& body) {
    if (!body)
        return Decoded<LoadedZibble>::failure(DecodeStage::RpcResponse, "no answer");
    auto pixels = decodeRpcResponse(*body);
    if (!pixels.value)
        return {std::nullopt, std::move(pixels.error)};
    const Rect content = contentBounds(*pixels.value);
    return Decoded<LoadedZibble>::success(LoadedZibble{tokenId, std::move(*pixels.value), content});
}

std::optional<LoadedZibble> loadedZibbleFromAnswer(TokenId tokenId,
                                                   const std::optional<std::string>& body) {
    return decodeAnswer(tokenId, body).value;
}

platform::HttpCompletion makeFetchCompletion(std::weak_ptr<ZibblesBounceView> view, TokenId tokenId,
                                             std::shared_ptr<platform::MainQueue> mainQueue,
                                             FetchRequestFacts facts,
                                             platform::FetchObserver observer) {
    return [view = std::move(view), tokenId, mainQueue = std::move(mainQueue),
            facts = std::move(facts), observer = std::move(observer)](
               std::optional<std::string> body, std::optional<platform::HttpResponse> response,
               std::optional<platform::HttpError> error) {
        // Session thread. The view is only looked at, never held, here: holding it could make
        // this thread the one that destroys it.
        if (view.expired())
            return;
        // A transport error brings no answer to judge.
        auto decoded = error ? Decoded<LoadedZibble>{} : decodeAnswer(tokenId, body);
        if (observer)
            observer(platform::FetchOutcome{facts.url, facts.timeoutSeconds, body, response, error,
                                            decoded.value.has_value(), decoded.error.message});
        mainQueue->async(
            [view, tokenId, loaded = std::move(decoded.value), error = std::move(error)] {
                if (const auto strong = view.lock())
                    strong->finishFetch(tokenId, loaded, error);
            });
    };
}

} // namespace zibbles

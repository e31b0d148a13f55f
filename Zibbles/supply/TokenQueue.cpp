#include "Zibbles/ZibblesBounceView.h"

namespace zibbles {

// FIXME: the token supply lands with the URL session.
void ZibblesBounceView::topUpQueue() {}
void ZibblesBounceView::finishFetch(TokenId, std::optional<LoadedZibble>,
                                    std::optional<platform::HttpError>) {}
void ZibblesBounceView::retryLater() {}

} // namespace zibbles

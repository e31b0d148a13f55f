#include "Zibbles/supply/Config.h"

namespace zibbles::Config {

const std::set<TokenId>& skipTokenIds() {
    // A constant, built once on first use; C++ makes that first use thread-safe.
    static const std::set<TokenId> ids = [] {
        const TokenId list[] = {1961, 4800};
        return std::set<TokenId>(std::begin(list), std::end(list));
    }();
    return ids;
}

} // namespace zibbles::Config

#include "Zibbles/supply/TokenChoice.h"

#include "Zibbles/supply/Config.h"

namespace zibbles {

TokenId chooseTokenId(platform::RandomSource& random, const std::set<TokenId>& avoid) {
    const auto rejected = [&](TokenId id) {
        return avoid.count(id) != 0 || Config::skipTokenIds().count(id) != 0;
    };
    TokenId candidate = random.uniformInt(lowestTokenId, highestTokenId);
    for (int redraws = 0; redraws < maximumRedraws && rejected(candidate); ++redraws)
        candidate = random.uniformInt(lowestTokenId, highestTokenId);
    return candidate;
}

} // namespace zibbles

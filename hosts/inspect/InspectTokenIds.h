#pragma once

// --token IDS: token ids and ranges, "42", "1-100", "7,9,20-25".

#include "Zibbles/LoadedZibble.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zibbles::inspect {

// More ids than this in one list is a typing slip (a range to 2^63 - 1), not a request to make.
constexpr std::size_t maximumListedIds = 1000000;

struct TokenIdList {
    std::vector<TokenId> ids; // ascending, each once; empty on error
    std::string error;        // for people, when ids is empty
};

// Ids run from 0 to 2^63 - 1, the range of a token id; a range's first id is not above its last.
TokenIdList parseTokenIds(std::string_view text);

} // namespace zibbles::inspect

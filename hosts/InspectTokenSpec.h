#pragma once

// --token SPEC: token ids and ranges, "42", "1-100", "7,9,20-25".

#include "Zibbles/LoadedZibble.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zibbles::inspect {

// More ids than this in one spec is a typing slip (a range to 2^63 - 1), not a request to make.
constexpr std::size_t maximumSpecIds = 1000000;

struct TokenSpec {
    std::vector<TokenId> ids; // ascending, each once; empty on error
    std::string error;        // for people, when ids is empty
};

// Ids run from 0 to 2^63 - 1, the range of a token id; a range's first id is not above its last.
TokenSpec parseTokenSpec(std::string_view spec);

} // namespace zibbles::inspect

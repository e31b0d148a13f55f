#pragma once

// Build-time constants of the token supply.

#include "Zibbles/LoadedZibble.h"

#include <set>

namespace zibbles::Config {

// Token ids that are never fetched.
const std::set<TokenId>& skipTokenIds();

} // namespace zibbles::Config

#include "hosts/inspect/InspectTokenIds.h"

#include <algorithm>
#include <charconv>

namespace zibbles::inspect {

namespace {

constexpr const char* idRange = "token ids are whole numbers from 0 to 9223372036854775807";

std::optional<TokenId> idOf(std::string_view text) {
    TokenId id = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, id);
    if (text.empty() || text.front() == '-' || error != std::errc() || stop != end)
        return std::nullopt;
    return id;
}

TokenIdList failure(std::string error) {
    return TokenIdList{{}, std::move(error)};
}

// One comma-separated item, "7" or "20-25", added to ids. Gives the error, or nothing.
std::optional<std::string> addItem(std::string_view item, std::vector<TokenId>& ids) {
    const auto dash = item.find('-', 1); // a leading '-' is a sign, refused by idOf
    const auto first = idOf(item.substr(0, dash));
    const auto last = dash == item.npos ? first : idOf(item.substr(dash + 1));
    // Appended, not "'" + text: GCC 12 warns falsely (-Wrestrict) on that operator at -O2.
    const std::string quoted = std::string("'").append(item).append("'");
    if (!first || !last)
        return quoted + " is not an id or a range FIRST-LAST (" + idRange + ")";
    if (*first > *last)
        return "the range " + quoted + " runs backwards";
    if (static_cast<std::size_t>(*last - *first) >= maximumListedIds - ids.size())
        return "more than " + std::to_string(maximumListedIds) + " ids";
    for (TokenId id = *first;; ++id) {
        ids.push_back(id);
        if (id == *last)
            return std::nullopt;
    }
}

} // namespace

TokenIdList parseTokenIds(std::string_view text) {
    if (text.empty())
        return failure("no token id");
    std::vector<TokenId> ids;
    for (std::size_t start = 0; start <= text.size();) {
        const auto comma = std::min(text.find(',', start), text.size());
        if (auto error = addItem(text.substr(start, comma - start), ids))
            return failure(*error);
        start = comma + 1;
    }
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return TokenIdList{std::move(ids), {}};
}

} // namespace zibbles::inspect

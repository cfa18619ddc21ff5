#pragma once
// File-name masks for client-side matching of remote listings.
#include <string_view>

namespace zyfar {

// "*" matches any run of characters (also an empty one), "?" exactly one
// character; every other character matches itself, case sensitive. The mask
// must cover the whole name. An empty mask matches only the empty name.
// Runs in O(name * mask) time at worst, without recursion.
[[nodiscard]] bool MatchesMask(std::string_view name, std::string_view mask);

// True when the text holds "*" or "?".
[[nodiscard]] bool HasWildcard(std::string_view text);

}  // namespace zyfar

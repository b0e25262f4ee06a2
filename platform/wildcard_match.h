#pragma once

#include <string_view>

namespace dupsieve {

// True when the pattern holds "*" or "?".
bool hasWildcards(std::string_view pattern);

// Matches one path component against a pattern: "*" matches any run of
// bytes (the empty run included), "?" exactly one byte, every other byte
// itself, case-sensitively. "*.*" matches every name, with or without a dot.
// An empty pattern matches nothing.
bool matchesWildcard(std::string_view pattern, std::string_view name);

}  // namespace dupsieve

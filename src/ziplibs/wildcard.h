// Name patterns of the file specifications: "*" matches any run of characters
// (folder separators included), "?" one character. "*.*" as the whole pattern or
// its last part matches every name, dotted or not, as it always has on MS-DOS.
// Matching is exact otherwise (case-sensitive, byte for byte).
#pragma once

#include <string_view>

namespace ziplibs {

bool hasWildcards(std::string_view text);

// True when name matches pattern. Time is bounded by pattern length x name length.
bool wildcardMatch(std::string_view pattern, std::string_view name);

}  // namespace ziplibs

// Name patterns and the selection of entries by the names a caller gives.
//
// A pattern holds "*" (any run of characters, folder separators included) and "?"
// (one character). "*.*" as the whole pattern or its last part matches every name,
// dotted or not, as it always has on MS-DOS. Matching is exact otherwise
// (case-sensitive, byte for byte). A literal name has no wildcards at all: it
// matches only the identical name, so entries and files whose names hold "*" or
// "?" can be named one by one.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zipcore {

bool hasWildcards(std::string_view text);

// True when name matches pattern. Time is bounded by pattern length x name length.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Chooses entries by a list of names: patterns, or with literal set, exact names.
// Exact names (and patterns without wildcards) are looked up in a hash table, so
// choosing among many entries by many names stays linear.
class EntrySelector {
 public:
  EntrySelector(std::span<const std::string> specs, bool literal);

  // True when a name of the list chooses the entry, shown as name and stored as
  // rawName; every name that chooses it is marked as used.
  bool select(std::string_view name, std::string_view rawName);

  // The names of the list that chose no entry so far, in list order.
  std::vector<std::string> unused() const;

 private:
  void mark(std::string_view name, bool& chosen);

  std::span<const std::string> specs_;
  std::unordered_map<std::string_view, std::vector<std::size_t>> exact_;
  std::vector<std::size_t> patterns_;  // specs with wildcards (not literal)
  std::vector<bool> used_;
};

}  // namespace zipcore

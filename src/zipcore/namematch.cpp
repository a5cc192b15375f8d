#include "zipcore/namematch.h"

namespace zipcore {

namespace {

// Bytes of the UTF-8 character at s[i] (1 for a stray byte).
std::size_t charLength(std::string_view s, std::size_t i) {
  std::size_t n = 1;
  while (i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

bool hasWildcards(std::string_view text) { return text.find_first_of("*?") != std::string_view::npos; }

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  std::string normal;
  if (pattern.size() >= 3 && pattern.substr(pattern.size() - 3) == "*.*" &&
      (pattern.size() == 3 || pattern[pattern.size() - 4] == '/')) {
    normal.assign(pattern.substr(0, pattern.size() - 2));  // "*.*" -> "*"
    pattern = normal;
  }
  // Greedy match that remembers the last "*" and retries from one step further.
  std::size_t p = 0, n = 0;
  std::size_t starP = std::string_view::npos, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += charLength(name, n);
    } else if (p < pattern.size() && pattern[p] == name[n]) {
      ++p;
      ++n;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      starN += charLength(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

EntrySelector::EntrySelector(std::span<const std::string> specs, bool literal)
    : specs_(specs), used_(specs.size(), false) {
  for (std::size_t i = 0; i < specs.size(); ++i) {
    if (!literal && hasWildcards(specs[i]))
      patterns_.push_back(i);
    else
      exact_[specs[i]].push_back(i);
  }
}

void EntrySelector::mark(std::string_view name, bool& chosen) {
  auto it = exact_.find(name);
  if (it == exact_.end()) return;
  for (std::size_t i : it->second) used_[i] = true;
  chosen = true;
}

bool EntrySelector::select(std::string_view name, std::string_view rawName) {
  bool chosen = false;
  mark(name, chosen);
  if (rawName != name) mark(rawName, chosen);
  for (std::size_t i : patterns_) {
    if (wildcardMatch(specs_[i], name) || (rawName != name && wildcardMatch(specs_[i], rawName))) {
      used_[i] = true;
      chosen = true;
    }
  }
  return chosen;
}

std::vector<std::string> EntrySelector::unused() const {
  std::vector<std::string> out;
  for (std::size_t i = 0; i < specs_.size(); ++i)
    if (!used_[i]) out.push_back(specs_[i]);
  return out;
}

}  // namespace zipcore

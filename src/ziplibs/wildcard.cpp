#include "ziplibs/wildcard.h"

#include <string>

namespace ziplibs {

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

}  // namespace ziplibs

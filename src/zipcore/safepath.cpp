#include "zipcore/safepath.h"

#include <cctype>

namespace zipcore {

namespace {

constexpr std::size_t kMaxPart = 255;   // longest file name the file systems take
constexpr std::size_t kMaxPath = 4000;  // stay below PATH_MAX with the base folder

std::vector<std::string_view> split(std::string_view s, std::string_view separators) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while (start <= s.size()) {
    std::size_t end = s.find_first_of(separators, start);
    if (end == std::string_view::npos) end = s.size();
    out.push_back(s.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

}  // namespace

SafeName checkEntryName(std::string_view name) {
  SafeName r;
  if (name.find('\0') != std::string_view::npos) {
    r.problem = "the name holds a NUL byte";
    return r;
  }
  if (name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':') {
    name.remove_prefix(2);  // drive letter
    r.changed = true;
  }
  while (!name.empty() && (name.front() == '/' || name.front() == '\\')) {
    name.remove_prefix(1);  // absolute name
    r.changed = true;
  }
  r.directory = !name.empty() && (name.back() == '/' || name.back() == '\\');
  for (std::string_view part : split(name, "/\\")) {
    if (part.empty()) continue;
    if (part == ".") {
      r.changed = true;
      continue;
    }
    if (part == "..") {
      r.problem = "the name leads out of the target folder (\"..\")";
      return r;
    }
    if (part.size() > kMaxPart) {
      r.problem = "a part of the name is too long";
      return r;
    }
    r.parts.emplace_back(part);
  }
  if (r.parts.empty())
    r.problem = "the name is empty once made safe";
  else if (joinParts(r.parts, r.parts.size()).size() > kMaxPath)
    r.problem = "the name is too long";
  return r;
}

bool linkTargetInside(const std::vector<std::string>& linkParts, std::string_view target) {
  if (target.empty() || target.find('\0') != std::string_view::npos) return false;
  if (target.front() == '/' || target.front() == '\\') return false;
  if (target.size() >= 2 && std::isalpha(static_cast<unsigned char>(target[0])) && target[1] == ':') return false;
  // Only a leading run of ".." is allowed: the folders holding the link are real
  // folders (never links), so climbing them is what it looks like. A ".." after a
  // name could climb out of a link's target instead, which no lexical check sees.
  long up = 0;
  bool descended = false;
  for (std::string_view part : split(target, "/\\")) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (descended) return false;
      ++up;
    } else {
      descended = true;
    }
  }
  long depth = linkParts.empty() ? 0 : static_cast<long>(linkParts.size()) - 1;
  return up <= depth;
}

std::string joinParts(const std::vector<std::string>& parts, std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i) out.push_back('/');
    out += parts[i];
  }
  return out;
}

}  // namespace zipcore

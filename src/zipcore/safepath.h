// The one place that decides whether an entry name may be written below the
// target folder, and whether a symbolic link's target stays inside it.
//
// Entry names come from the archive and are not trusted: "\" counts as a folder
// separator, a leading "/" or drive letter ("C:") is dropped (the name is then
// reported as changed), "." parts are dropped, and a name with a ".." part, a NUL
// byte, an empty result or an overlong part is refused.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zipcore {

struct SafeName {
  std::vector<std::string> parts;  // folders, then the final name
  bool directory = false;          // the name ends in a separator
  bool changed = false;            // something was dropped to make it safe
  std::string problem;             // not empty: refused, and why
  bool ok() const { return problem.empty(); }
};

SafeName checkEntryName(std::string_view name);

// True when a link stored at linkParts (from checkEntryName) whose text is target
// stays inside the base folder: a relative target that may climb ("..") only at
// its start and not above the base. Absolute targets, drive letters and a ".."
// after a name are refused.
bool linkTargetInside(const std::vector<std::string>& linkParts, std::string_view target);

// Parts joined with "/".
std::string joinParts(const std::vector<std::string>& parts, std::size_t count);

}  // namespace zipcore

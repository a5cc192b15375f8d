// Walks a tree as the search window does and prints each match's full path, one a
// line (as `find START -name PATTERN` does), so the two can be timed side by side.
// The idle handler stands in for the window's event processing; the longest time
// between two of its calls goes to standard error with the counts.
//   search_walk START PATTERN [--no-print]
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "search/dirnavigator.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s START PATTERN [--no-print]\n", argv[0]);
    return 2;
  }
  const bool print = !(argc > 3 && std::strcmp(argv[3], "--no-print") == 0);
  search::TDirNavigator nav;
  nav.StartFolder = argv[1];
  nav.Pattern = argv[2];
  std::uint64_t found = 0, folders = 0, idles = 0, longest = 0;
  std::uint64_t last = platform::tickCount();
  std::string line;
  nav.OnRecurse = [&](search::TDirNavigator&, const std::string&) { ++folders; };
  nav.OnFound = [&](search::TDirNavigator&, const std::string& folder, const std::string& name, std::uint64_t) {
    ++found;
    if (!print) return;
    line.assign(folder).append(name).push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
  };
  nav.OnIdle = [&](search::TDirNavigator&) {
    const std::uint64_t now = platform::tickCount();
    longest = std::max(longest, now - last);
    last = now;
    ++idles;
  };
  const auto outcome = nav.Navigate();
  longest = std::max(longest, platform::tickCount() - last);
  std::fprintf(stderr, "found %llu files in %llu folders; %llu skipped; idle calls %llu, longest gap %llu ms\n",
               static_cast<unsigned long long>(found), static_cast<unsigned long long>(folders),
               static_cast<unsigned long long>(nav.SkippedFolders()), static_cast<unsigned long long>(idles),
               static_cast<unsigned long long>(longest));
  return outcome == search::TDirNavigator::Outcome::Done ? 0 : 1;
}

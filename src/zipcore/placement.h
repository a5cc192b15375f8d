// Where the members of an archive lie, checked before their data are trusted.
//
// Every member (local header and data) must lie in front of the central
// directory and clear of every other member. Archives that break this rule are
// crafted: members that share or overlap data expand far beyond the archive's
// size (a "bomb"), and offsets that point past the data area lead nowhere. The
// cause is told apart, so messages can name it.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "zipcore/directory.h"

namespace zipcore {

struct Placement {
  enum Problem {
    Fine,
    SharesHeader,       // another entry names the same local header
    Overlaps,           // its data run into the next member's local header
    IntoDirectory,      // its data run into the central directory
    HeaderInDirectory,  // its local header offset points into the central directory
    PastEnd,            // its local header offset points past the end of the file
  };
  Problem problem = Fine;
  std::size_t other = 0;  // SharesHeader, Overlaps: the other entry (index into the directory)
};

// The placement of the entries of dir whose indexes are in chosen (all entries
// when chosen is empty), judged among the chosen entries only. One result per
// entry of the directory; entries not chosen are Fine.
std::vector<Placement> CheckPlacement(const Directory& dir, std::span<const std::size_t> chosen = {});

// Words for a problem, naming the other entry where there is one:
// "its data overlap the entry <name>", "its local header offset points past the
// end of the archive" and the like.
std::string DescribePlacement(const Directory& dir, const Placement& p);

}  // namespace zipcore

#include "zipcore/placement.h"

#include <map>

#include "zipcore/names.h"

namespace zipcore {

std::vector<Placement> CheckPlacement(const Directory& dir, std::span<const std::size_t> chosen) {
  std::vector<Placement> out(dir.entries.size());
  std::vector<std::size_t> all;
  if (chosen.empty()) {
    all.resize(dir.entries.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    chosen = all;
  }
  // Local header offset -> the first chosen entry there.
  std::map<std::uint64_t, std::size_t> starts;
  for (std::size_t i : chosen) {
    const ZipEntry& e = dir.entries[i];
    if (!e.offsetInFile || e.localOffset >= dir.fileSize) {
      out[i].problem = Placement::PastEnd;
      continue;
    }
    if (e.localOffset >= dir.centralOffset) {
      out[i].problem = Placement::HeaderInDirectory;
      continue;
    }
    auto [it, fresh] = starts.emplace(e.localOffset, i);
    if (!fresh) out[i] = Placement{Placement::SharesHeader, it->second};
  }
  for (auto it = starts.begin(); it != starts.end(); ++it) {
    const auto next = std::next(it);
    const std::uint64_t end = next == starts.end() ? dir.centralOffset : next->first;
    const ZipEntry& e = dir.entries[it->second];
    // A local header (30 bytes at least) and the member's data fit in front of end.
    if (end - it->first >= kLocalHeaderSize && e.compressedSize <= end - it->first - kLocalHeaderSize) continue;
    if (next == starts.end())
      out[it->second].problem = Placement::IntoDirectory;
    else
      out[it->second] = Placement{Placement::Overlaps, next->second};
  }
  return out;
}

std::string DescribePlacement(const Directory& dir, const Placement& p) {
  auto nameOf = [&](std::size_t i) { return PrintableName(dir.entries[i].name); };
  switch (p.problem) {
    case Placement::Fine: return "its place in the archive is sound";
    case Placement::SharesHeader: return "it shares its local header with the entry " + nameOf(p.other);
    case Placement::Overlaps: return "its data overlap the entry " + nameOf(p.other);
    case Placement::IntoDirectory: return "its data run into the central directory";
    case Placement::HeaderInDirectory: return "its local header offset points into the central directory";
    case Placement::PastEnd: return "its local header offset points past the end of the archive";
  }
  return "it lies outside the archive's data";
}

}  // namespace zipcore

// End of the central directory: the 22-byte end record, found by scanning the last
// 65557 bytes of a file backwards (a comment is at most 65535 bytes), and the ZIP64
// records that precede it in archives with more than 65535 entries or sizes and
// offsets beyond 32 bits.
//
// Quirks handled: a comment that itself holds "PK\5\6" (a fake record), a comment
// length that runs past the end of the file (truncated file), and zero bytes
// padding a file to a 512-byte block after the record.
#include <algorithm>

#include "zipengine/zipparse.h"

using namespace zipfmt;

namespace zipparse {

namespace {

const unsigned char* bytesOf(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }

// The record's counts fit its directory: each entry needs 46 bytes at least, and the
// directory lies before the record. Escaped (ZIP64) values cannot be judged here.
bool plausible(const EocdRecord& r, std::uint64_t recordOffset) {
  if (r.TotalEntries == 0xFFFF || r.CentralDirSize == 0xFFFFFFFF) return true;
  if (std::uint64_t{r.TotalEntries} * kCentralHeaderSize > r.CentralDirSize) return false;
  return r.CentralDirSize <= recordOffset;
}

}  // namespace

bool IsToleratedPadding(std::string_view surplus, std::uint64_t fileSize) {
  if (surplus.size() >= 512 || fileSize % 512 != 0) return false;
  return std::all_of(surplus.begin(), surplus.end(), [](char c) { return c == 0; });
}

std::optional<EocdHit> FindEocd(std::string_view tail, std::uint64_t fileSize) {
  if (tail.size() < kEocdSize || tail.size() > fileSize) return std::nullopt;
  const std::uint64_t tailStart = fileSize - tail.size();
  const unsigned char* b = bytesOf(tail);
  std::optional<EocdHit> best;
  int bestRank = 0;
  for (std::size_t pos = tail.size() - kEocdSize + 1; pos-- > 0;) {
    if (b[pos] != 'P' || b[pos + 1] != 'K' || b[pos + 2] != 5 || b[pos + 3] != 6) continue;
    EocdHit hit;
    hit.pos = pos;
    hit.record = EocdRecord::parse(b + pos);
    hit.commentEnd = tailStart + pos + kEocdSize + hit.record.CommentLength;
    int rank = 1;
    if (plausible(hit.record, tailStart + pos)) {
      rank = 2;
      if (hit.commentEnd == fileSize) {
        rank = 3;
      } else if (hit.commentEnd < fileSize) {
        const std::size_t end = static_cast<std::size_t>(hit.commentEnd - tailStart);
        if (IsToleratedPadding(tail.substr(end), fileSize)) rank = 3;
      }
    }
    if (rank > bestRank) {
      hit.rank = rank;
      best = hit;
      bestRank = rank;
      if (rank == 3) break;  // nothing further back can do better
    }
  }
  return best;
}

std::optional<std::uint64_t> ParseZip64Locator(std::string_view locator) {
  if (locator.size() < kZip64LocatorSize) return std::nullopt;
  const unsigned char* p = bytesOf(locator);
  if (get32(p) != kZip64LocatorSig) return std::nullopt;
  return get64(p + 8);
}

std::optional<Zip64EndRecord> ParseZip64End(std::string_view record) {
  if (record.size() < kZip64EocdSize) return std::nullopt;
  const unsigned char* p = bytesOf(record);
  // Size of the record after its first 12 bytes: 44 for the fixed part, more with
  // extensible data.
  if (get32(p) != kZip64EocdSig || get64(p + 4) < kZip64EocdSize - 12) return std::nullopt;
  Zip64EndRecord r;
  r.ThisDisk = get32(p + 16);
  r.CentralDirDisk = get32(p + 20);
  r.EntriesThisDisk = get64(p + 24);
  r.TotalEntries = get64(p + 32);
  r.CentralDirSize = get64(p + 40);
  r.CentralDirOffset = get64(p + 48);
  return r;
}

}  // namespace zipparse

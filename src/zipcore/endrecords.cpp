// End of the central directory: the 22-byte end record, found by scanning the last
// 65557 bytes of a file backwards (a comment is at most 65535 bytes), and the ZIP64
// records that precede it in archives with more than 65535 entries or sizes and
// offsets beyond 32 bits.
//
// Quirks handled: a comment that itself holds "PK\5\6" (a fake record), a comment
// length that runs past the end of the file (truncated file), and zero bytes
// padding a file to a 512-byte block after the record.
#include <algorithm>

#include "zipcore/directory.h"

namespace zipcore {

namespace {

// The record's counts fit its directory: each entry needs 46 bytes at least, and the
// directory lies before the record. Escaped (ZIP64) values cannot be judged here.
bool plausible(const EocdRecord& r, std::uint64_t recordOffset) {
  if (r.TotalEntries == kMax16 || r.CentralDirSize == kMax32) return true;
  if (std::uint64_t{r.TotalEntries} * kCentralHeaderSize > r.CentralDirSize) return false;
  return r.CentralDirSize <= recordOffset;
}

// The ZIP64 end record the locator right in front of the end record points to.
void findZip64End(const InputFile& file, EndRecords& end) {
  if (end.offset < kZip64LocatorSize) return;
  const std::uint64_t locatorAt = end.offset - kZip64LocatorSize;
  std::string locator;
  if (!file.readExact(locatorAt, locator, kZip64LocatorSize)) return;
  const std::optional<std::uint64_t> stored = ParseZip64Locator(locator);
  if (!stored) return;
  std::string record;
  auto tryAt = [&](std::uint64_t at) -> bool {
    if (at > locatorAt || locatorAt - at < kZip64EndSize) return false;
    if (!file.readExact(at, record, kZip64EndSize)) return false;
    end.zip64 = ParseZip64End(record);
    if (end.zip64) end.zip64Offset = at;
    return end.zip64.has_value();
  };
  if (!tryAt(*stored) && locatorAt >= kZip64EndSize) tryAt(locatorAt - kZip64EndSize);
}

}  // namespace

bool IsToleratedPadding(std::string_view surplus, std::uint64_t fileSize) {
  if (surplus.size() >= 512 || fileSize % 512 != 0) return false;
  return std::all_of(surplus.begin(), surplus.end(), [](char c) { return c == 0; });
}

std::optional<EocdHit> FindEocd(std::string_view tail, std::uint64_t fileSize) {
  if (tail.size() < kEndSize || tail.size() > fileSize) return std::nullopt;
  const std::uint64_t tailStart = fileSize - tail.size();
  const unsigned char* b = bytesOf(tail);
  std::optional<EocdHit> best;
  int bestRank = 0;
  for (std::size_t pos = tail.size() - kEndSize + 1; pos-- > 0;) {
    if (b[pos] != 'P' || b[pos + 1] != 'K' || b[pos + 2] != 5 || b[pos + 3] != 6) continue;
    EocdHit hit;
    hit.pos = pos;
    hit.record = EocdRecord::parse(b + pos);
    hit.commentEnd = tailStart + pos + kEndSize + hit.record.CommentLength;
    int rank = 1;
    if (plausible(hit.record, tailStart + pos)) {
      rank = 2;
      if (hit.commentEnd == fileSize) {
        rank = 3;
      } else if (hit.commentEnd < fileSize) {
        const auto end = static_cast<std::size_t>(hit.commentEnd - tailStart);
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

EndSearch FindEndRecords(const InputFile& file, EndRecords& end) {
  end = EndRecords{};
  const std::uint64_t size = file.size();
  if (size < kEndSize) return EndSearch::NotFound;
  // An archive without comment: its record is the last 22 bytes.
  std::string tail;
  if (!file.readExact(size - kEndSize, tail, kEndSize)) return EndSearch::ReadError;
  std::optional<EocdHit> hit = FindEocd(tail, size);
  if (hit && (hit->rank < 3 || hit->commentEnd != size)) hit.reset();
  if (!hit) {
    // Room for the record and the longest comment.
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kEndSearchSize));
    if (!file.readExact(size - n, tail, n)) return EndSearch::ReadError;
    hit = FindEocd(tail, size);
  }
  if (!hit) return EndSearch::NotFound;

  const std::uint64_t tailStart = size - tail.size();
  end.record = hit->record;
  end.offset = tailStart + hit->pos;
  end.commentEnd = hit->commentEnd;
  // The comment is what the file holds of it: a length running past the end of the
  // file (a truncated file) is cut at the end.
  end.comment = std::string(std::string_view(tail).substr(hit->pos + kEndSize, end.record.CommentLength));
  if (hit->commentEnd > size) {
    end.trailingGarbage = true;
  } else if (hit->commentEnd < size) {
    const auto surplusStart = static_cast<std::size_t>(hit->commentEnd - tailStart);
    end.trailingGarbage = !IsToleratedPadding(std::string_view(tail).substr(surplusStart), size);
  }
  findZip64End(file, end);
  return EndSearch::Found;
}

}  // namespace zipcore

#include "zipcore/records.h"

#include <zlib.h>

#include <ctime>

namespace zipcore {

EocdRecord EocdRecord::parse(const unsigned char* p) {
  EocdRecord r;
  r.ThisDisk = get16(p + 4);
  r.CentralDirDisk = get16(p + 6);
  r.EntriesThisDisk = get16(p + 8);
  r.TotalEntries = get16(p + 10);
  r.CentralDirSize = get32(p + 12);
  r.CentralDirOffset = get32(p + 16);
  r.CommentLength = get16(p + 20);
  return r;
}

void EocdRecord::write(unsigned char* p) const {
  put32(p, kEndSig);
  put16(p + 4, ThisDisk);
  put16(p + 6, CentralDirDisk);
  put16(p + 8, EntriesThisDisk);
  put16(p + 10, TotalEntries);
  put32(p + 12, CentralDirSize);
  put32(p + 16, CentralDirOffset);
  put16(p + 20, CommentLength);
}

std::optional<std::uint64_t> ParseZip64Locator(std::string_view locator) {
  if (locator.size() < kZip64LocatorSize || get32(locator, 0) != kZip64LocatorSig) return std::nullopt;
  return get64(locator, 8);
}

std::optional<Zip64EndRecord> ParseZip64End(std::string_view record) {
  // Size of the record after its first 12 bytes: 44 for the fixed part, more with
  // extensible data.
  if (record.size() < kZip64EndSize || get32(record, 0) != kZip64EndSig || get64(record, 4) < kZip64EndSize - 12)
    return std::nullopt;
  Zip64EndRecord r;
  r.ThisDisk = get32(record, 16);
  r.CentralDirDisk = get32(record, 20);
  r.EntriesThisDisk = get64(record, 24);
  r.TotalEntries = get64(record, 32);
  r.CentralDirSize = get64(record, 40);
  r.CentralDirOffset = get64(record, 48);
  return r;
}

std::optional<std::string_view> findExtra(std::string_view extra, std::uint16_t id) {
  std::optional<std::string_view> found;
  forEachExtra(extra, [&](std::uint16_t blockId, std::string_view data, std::size_t) {
    if (blockId != id) return true;
    found = data;
    return false;
  });
  return found;
}

std::string removeExtra(std::string_view extra, std::uint16_t id) {
  std::string out;
  forEachExtra(extra, [&](std::uint16_t blockId, std::string_view data, std::size_t at) {
    if (blockId != id) out.append(extra.substr(at, 4 + data.size()));
    return true;
  });
  return out;
}

bool readZip64(std::string_view data, Zip64Values& v) {
  std::size_t at = 0;
  auto take = [&](bool need, std::optional<std::uint64_t>& value) {
    if (!need) return true;
    if (data.size() - at < 8) return false;  // 8 bytes per supplied value
    value = get64(data, at);
    at += 8;
    return true;
  };
  if (!take(v.needUncompressed, v.uncompressed) || !take(v.needCompressed, v.compressed) ||
      !take(v.needOffset, v.offset))
    return false;
  if (!v.needDisk) return true;
  if (data.size() - at < 4) return false;  // the disk number: 4 bytes
  v.disk = get32(data, at);
  return true;
}

std::optional<std::int64_t> extraModTime(std::string_view extra) {
  // Extended timestamp: flags byte, then the times its bits name; bit 0 = mtime.
  if (auto ut = findExtra(extra, kExtraTimestamp); ut && ut->size() >= 5 && (static_cast<std::uint8_t>((*ut)[0]) & 1))
    return std::int64_t{static_cast<std::int32_t>(get32(*ut, 1))};
  // NTFS: 4 reserved bytes, then tags; tag 1 (size 24) holds mtime, atime, ctime in
  // 100 ns units since 1601.
  if (auto nt = findExtra(extra, kExtraNtfs); nt && nt->size() >= 4) {
    std::size_t at = 4;
    while (nt->size() - at >= 4) {
      const std::uint16_t tag = get16(*nt, at);
      const std::size_t size = get16(*nt, at + 2);
      if (size > nt->size() - at - 4) break;
      if (tag == 1 && size >= 8) {
        const std::uint64_t ticks = get64(*nt, at + 4);
        return static_cast<std::int64_t>(ticks / 10000000ULL) - 11644473600LL;
      }
      at += 4 + size;
    }
  }
  return std::nullopt;
}

bool MoveOffsetField(unsigned char* p, int width, std::int64_t by) {
  const std::uint64_t v = width == 8 ? get64(p) : get32(p);
  const std::uint64_t max = width == 8 ? UINT64_MAX : kMax32 - 1;
  std::uint64_t moved = 0;
  if (by >= 0) {
    const auto up = static_cast<std::uint64_t>(by);
    if (v > max || up > max - v) return false;
    moved = v + up;
  } else {
    const std::uint64_t down = static_cast<std::uint64_t>(-(by + 1)) + 1;
    if (v < down) return false;
    moved = v - down;
  }
  if (width == 8)
    put64(p, moved);
  else
    put32(p, static_cast<std::uint32_t>(moved));
  return true;
}

OffsetMove MoveCentralHeaderOffset(unsigned char* h, std::size_t size, std::int64_t by) {
  if (size < kCentralHeaderSize) return OffsetMove::Malformed;
  if (get32(h + 42) != kMax32) return MoveOffsetField(h + 42, 4, by) ? OffsetMove::Moved : OffsetMove::TooLarge;
  // The ZIP64 block: sizes first (each only when its header field is escaped),
  // then the offset.
  const std::size_t nameLen = get16(h + 28), extraLen = get16(h + 30);
  if (kCentralHeaderSize + nameLen + extraLen > size) return OffsetMove::Malformed;
  const std::string_view extra(reinterpret_cast<const char*>(h + kCentralHeaderSize + nameLen), extraLen);
  const std::optional<std::string_view> block = findExtra(extra, kExtraZip64);
  if (!block) return OffsetMove::Malformed;
  std::size_t at = 0;
  if (get32(h + 24) == kMax32) at += 8;
  if (get32(h + 20) == kMax32) at += 8;
  if (block->size() < at + 8) return OffsetMove::Malformed;
  auto* field = reinterpret_cast<unsigned char*>(const_cast<char*>(block->data())) + at;
  return MoveOffsetField(field, 8, by) ? OffsetMove::Moved : OffsetMove::TooLarge;
}

std::uint32_t unixToDos(std::int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t + (t & 1));  // round odd seconds up
  std::tm tm{};
  if (!localtime_r(&tt, &tm) || tm.tm_year < 80) return (1u << 21) | (1u << 16);  // 1980-01-01
  if (tm.tm_year > 207) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  const std::uint32_t date = (static_cast<std::uint32_t>(tm.tm_year - 80) << 9) |
                             (static_cast<std::uint32_t>(tm.tm_mon + 1) << 5) | static_cast<std::uint32_t>(tm.tm_mday);
  const std::uint32_t time = (static_cast<std::uint32_t>(tm.tm_hour) << 11) |
                             (static_cast<std::uint32_t>(tm.tm_min) << 5) | static_cast<std::uint32_t>(tm.tm_sec / 2);
  return (date << 16) | time;
}

std::optional<std::int64_t> dosToUnix(std::uint32_t dos) {
  std::tm tm{};
  tm.tm_year = static_cast<int>((dos >> 25) & 0x7F) + 80;
  tm.tm_mon = static_cast<int>((dos >> 21) & 0x0F) - 1;
  tm.tm_mday = static_cast<int>((dos >> 16) & 0x1F);
  tm.tm_hour = static_cast<int>((dos >> 11) & 0x1F);
  tm.tm_min = static_cast<int>((dos >> 5) & 0x3F);
  tm.tm_sec = static_cast<int>(dos & 0x1F) * 2;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
    return std::nullopt;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

std::uint32_t crc32Of(std::string_view data, std::uint32_t crc) {
  // zlib takes at most 4 GiB per call.
  while (!data.empty()) {
    const std::size_t n = data.size() < (1u << 30) ? data.size() : (1u << 30);
    crc = static_cast<std::uint32_t>(::crc32(crc, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(n)));
    data.remove_prefix(n);
  }
  return crc;
}

}  // namespace zipcore

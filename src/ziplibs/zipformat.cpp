#include "ziplibs/zipformat.h"

#include <libdeflate.h>

#include <ctime>

namespace ziplibs {

namespace {

// Calls fn(id, data) for each well-formed field; stops at the first field whose
// declared length runs past the end (extra field: id 2, length 2, data).
template <typename Fn>
void forEachExtra(std::string_view extra, Fn fn) {
  std::size_t at = 0;
  while (at + 4 <= extra.size()) {
    std::uint16_t id = get16(extra, at);
    std::size_t len = get16(extra, at + 2);
    if (at + 4 + len > extra.size()) return;
    if (!fn(id, extra.substr(at + 4, len), at)) return;
    at += 4 + len;
  }
}

}  // namespace

std::optional<std::string_view> findExtra(std::string_view extra, std::uint16_t id) {
  std::optional<std::string_view> found;
  forEachExtra(extra, [&](std::uint16_t fid, std::string_view data, std::size_t) {
    if (fid != id) return true;
    found = data;
    return false;
  });
  return found;
}

std::string removeExtra(std::string_view extra, std::uint16_t id) {
  std::string out;
  forEachExtra(extra, [&](std::uint16_t fid, std::string_view data, std::size_t at) {
    if (fid != id) out.append(extra.substr(at, 4 + data.size()));
    return true;
  });
  return out;
}

bool readZip64(std::string_view data, Zip64Values& v) {
  std::size_t at = 0;
  auto take = [&](bool need, std::uint64_t& value) {
    if (!need) return true;
    if (at + 8 > data.size()) return false;  // ZIP64 field: 8 bytes per supplied value
    value = get64(data, at);
    at += 8;
    return true;
  };
  return take(v.needUncompressed, v.uncompressed) && take(v.needCompressed, v.compressed) &&
         take(v.needOffset, v.offset);
}

std::optional<std::int64_t> extraModTime(std::string_view extra) {
  // Extended timestamp: flags byte, then the times its bits name; bit 0 = mtime.
  if (auto ut = findExtra(extra, kExtraTimestamp); ut && ut->size() >= 5 && (std::uint8_t((*ut)[0]) & 1))
    return std::int64_t(std::int32_t(get32(*ut, 1)));
  // NTFS: 4 reserved bytes, then tags; tag 1 (size 24) holds mtime, atime, ctime
  // in 100 ns units since 1601.
  if (auto nt = findExtra(extra, kExtraNtfs); nt && nt->size() >= 4) {
    std::size_t at = 4;
    while (at + 4 <= nt->size()) {
      std::uint16_t tag = get16(*nt, at);
      std::size_t size = get16(*nt, at + 2);
      if (at + 4 + size > nt->size()) break;
      if (tag == 1 && size >= 8) {
        std::uint64_t ticks = get64(*nt, at + 4);
        return std::int64_t(ticks / 10000000ULL) - 11644473600LL;
      }
      at += 4 + size;
    }
  }
  return std::nullopt;
}

std::uint32_t unixToDos(std::int64_t t) {
  std::time_t tt = static_cast<std::time_t>(t + (t & 1));  // round odd seconds up
  std::tm tm{};
  if (!localtime_r(&tt, &tm) || tm.tm_year < 80) return (1u << 21) | (1u << 16);  // 1980-01-01
  if (tm.tm_year > 207) return (127u << 25) | (12u << 21) | (31u << 16) | (23u << 11) | (59u << 5) | 29u;
  std::uint32_t date = (std::uint32_t(tm.tm_year - 80) << 9) | (std::uint32_t(tm.tm_mon + 1) << 5) | std::uint32_t(tm.tm_mday);
  std::uint32_t time = (std::uint32_t(tm.tm_hour) << 11) | (std::uint32_t(tm.tm_min) << 5) | std::uint32_t(tm.tm_sec / 2);
  return (date << 16) | time;
}

std::optional<std::int64_t> dosToUnix(std::uint32_t dos) {
  std::tm tm{};
  tm.tm_year = int((dos >> 25) & 0x7F) + 80;
  tm.tm_mon = int((dos >> 21) & 0x0F) - 1;
  tm.tm_mday = int((dos >> 16) & 0x1F);
  tm.tm_hour = int((dos >> 11) & 0x1F);
  tm.tm_min = int((dos >> 5) & 0x3F);
  tm.tm_sec = int(dos & 0x1F) * 2;
  if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_hour > 23 || tm.tm_min > 59 || tm.tm_sec > 59)
    return std::nullopt;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(t);
}

std::uint32_t crc32Of(std::string_view data, std::uint32_t crc) {
  return libdeflate_crc32(crc, data.data(), data.size());
}

}  // namespace ziplibs

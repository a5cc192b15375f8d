// Builds ZIP archives byte by byte for tests: every field can be set, so tests can
// make archives no peer tool writes (stubs, fake end records, hostile lengths,
// ZIP64 records).
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ziptest {

inline void put16(std::string& s, std::uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void put32(std::string& s, std::uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}
inline void put64(std::string& s, std::uint64_t v) {
  put32(s, static_cast<std::uint32_t>(v));
  put32(s, static_cast<std::uint32_t>(v >> 32));
}
inline void set16(std::string& s, std::size_t at, std::uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}
inline void set32(std::string& s, std::size_t at, std::uint32_t v) {
  set16(s, at, v & 0xFFFF);
  set16(s, at + 2, v >> 16);
}
inline std::uint32_t crcOf(const std::string& s) {
  return static_cast<std::uint32_t>(::crc32(0L, reinterpret_cast<const Bytef*>(s.data()), static_cast<uInt>(s.size())));
}

struct Entry {
  Entry(std::string n, std::string d, std::uint16_t made = 0x031E)
      : name(std::move(n)), data(std::move(d)), madeBy(made) {}
  std::string name;               // raw name bytes
  std::string data;               // stored as is (method 0)
  std::uint16_t madeBy = 0x031E;  // Unix, version 3.0
  std::uint16_t flags = 0;
  std::string extra;  // central extra field
  std::string comment;
  std::uint16_t time = 0x5291;  // 10:20:34
  std::uint16_t date = 0x586F;  // 2024-03-15
  bool zip64 = false;           // sizes and offset as 0xFFFFFFFF with a ZIP64 extra block
};

// The parts of an archive: local headers with data, central directory, ZIP64 end
// records (when asked), end record with comment.
struct Parts {
  std::string body, central, zip64, eocd;
  std::string all() const { return body + central + zip64 + eocd; }
  // Offsets of the end record's fields inside eocd.
  static constexpr std::size_t kTotalEntries = 10, kCdSize = 12, kCdOffset = 16, kCommentLength = 20;
};

inline std::string zip64Block(std::uint64_t usize, std::uint64_t csize, std::uint64_t offset) {
  std::string b;
  put16(b, 0x0001);
  put16(b, 24);
  put64(b, usize);
  put64(b, csize);
  put64(b, offset);
  return b;
}

// base: offset of the first local header in the final file when offsets are to
// include a stub of that length (0 for a plain archive).
inline Parts build(const std::vector<Entry>& entries, const std::string& comment = {}, std::uint32_t base = 0,
                   bool zip64End = false) {
  Parts p;
  for (const Entry& e : entries) {
    const std::uint32_t offset = base + static_cast<std::uint32_t>(p.body.size());
    const std::uint32_t crc = crcOf(e.data);
    const auto size = static_cast<std::uint32_t>(e.data.size());
    std::string& l = p.body;
    put32(l, 0x04034B50);
    put16(l, 20);
    put16(l, e.flags);
    put16(l, 0);
    put16(l, e.time);
    put16(l, e.date);
    put32(l, crc);
    put32(l, size);
    put32(l, size);
    put16(l, static_cast<std::uint32_t>(e.name.size()));
    put16(l, 0);
    l += e.name;
    l += e.data;

    std::string extra = e.extra;
    if (e.zip64) extra += zip64Block(size, size, offset);
    std::string& c = p.central;
    put32(c, 0x02014B50);
    put16(c, e.madeBy);
    put16(c, e.zip64 ? 45 : 20);
    put16(c, e.flags);
    put16(c, 0);
    put16(c, e.time);
    put16(c, e.date);
    put32(c, crc);
    put32(c, e.zip64 ? 0xFFFFFFFF : size);
    put32(c, e.zip64 ? 0xFFFFFFFF : size);
    put16(c, static_cast<std::uint32_t>(e.name.size()));
    put16(c, static_cast<std::uint32_t>(extra.size()));
    put16(c, static_cast<std::uint32_t>(e.comment.size()));
    put16(c, 0);
    put16(c, 0);
    put32(c, 0);
    put32(c, e.zip64 ? 0xFFFFFFFF : offset);
    c += e.name;
    c += extra;
    c += e.comment;
  }
  const std::uint64_t cdOffset = base + p.body.size();
  const std::uint64_t count = entries.size();
  if (zip64End) {
    const std::uint64_t z64At = cdOffset + p.central.size();
    put32(p.zip64, 0x06064B50);
    put64(p.zip64, 44);
    put16(p.zip64, 45);
    put16(p.zip64, 45);
    put32(p.zip64, 0);
    put32(p.zip64, 0);
    put64(p.zip64, count);
    put64(p.zip64, count);
    put64(p.zip64, p.central.size());
    put64(p.zip64, cdOffset);
    put32(p.zip64, 0x07064B50);
    put32(p.zip64, 0);
    put64(p.zip64, z64At);
    put32(p.zip64, 1);
  }
  put32(p.eocd, 0x06054B50);
  put16(p.eocd, 0);
  put16(p.eocd, 0);
  put16(p.eocd, zip64End && count >= 0xFFFF ? 0xFFFF : static_cast<std::uint32_t>(count));
  put16(p.eocd, zip64End && count >= 0xFFFF ? 0xFFFF : static_cast<std::uint32_t>(count));
  put32(p.eocd, static_cast<std::uint32_t>(p.central.size()));
  put32(p.eocd, zip64End ? 0xFFFFFFFF : static_cast<std::uint32_t>(cdOffset));
  put16(p.eocd, static_cast<std::uint32_t>(comment.size()));
  p.eocd += comment;
  return p;
}

// A small archive of three entries used by many tests.
inline std::vector<Entry> sampleEntries() {
  return {{"readme.txt", "Read me first.\n"}, {"docs/", ""}, {"docs/notes.txt", std::string(300, 'n')}};
}

}  // namespace ziptest

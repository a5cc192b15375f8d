// ZIP on-disk records the engine reads and writes: signatures, fixed sizes, and
// little-endian field access. All multi-byte values on disk are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zipfmt {

inline constexpr std::uint32_t kLocalHeaderSig = 0x04034B50;    // "PK\3\4"
inline constexpr std::uint32_t kSpanMarkerSig = 0x08074B50;     // "PK\7\8": data descriptor / first disk of a set
inline constexpr std::uint32_t kCentralHeaderSig = 0x02014B50;  // "PK\1\2"
inline constexpr std::uint32_t kEocdSig = 0x06054B50;           // "PK\5\6"
inline constexpr std::uint32_t kZip64EocdSig = 0x06064B50;      // "PK\6\6"
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;   // "PK\6\7"

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kDataDescriptorSize = 16;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEocdSize = 22;
inline constexpr std::size_t kMaxCommentSize = 65535;
inline constexpr std::size_t kEocdSearchSize = kEocdSize + kMaxCommentSize;  // 65557
inline constexpr std::size_t kZip64LocatorSize = 20;
inline constexpr std::size_t kZip64EocdSize = 56;  // fixed part, without extensible data

// Extra-field block ids.
inline constexpr std::uint16_t kExtraZip64 = 0x0001;
inline constexpr std::uint16_t kExtraUnicodePath = 0x7075;

inline std::uint16_t get16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t get32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t get64(const unsigned char* p) {
  return std::uint64_t{get32(p)} | (std::uint64_t{get32(p + 4)} << 32);
}
inline void put16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The 22-byte end-of-central-directory record (without its comment).
struct EocdRecord {
  std::uint16_t ThisDisk = 0;         // a multi-disk set: number of the last disk (from 0)
  std::uint16_t CentralDirDisk = 0;   // disk where the central directory starts
  std::uint16_t EntriesThisDisk = 0;
  std::uint16_t TotalEntries = 0;
  std::uint32_t CentralDirSize = 0;
  std::uint32_t CentralDirOffset = 0; // on its disk
  std::uint16_t CommentLength = 0;

  // p holds at least kEocdSize bytes starting with the signature.
  static EocdRecord parse(const unsigned char* p) {
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
  void write(unsigned char* p) const {
    put32(p, kEocdSig);
    put16(p + 4, ThisDisk);
    put16(p + 6, CentralDirDisk);
    put16(p + 8, EntriesThisDisk);
    put16(p + 10, TotalEntries);
    put32(p + 12, CentralDirSize);
    put32(p + 16, CentralDirOffset);
    put16(p + 20, CommentLength);
  }
};

// The ZIP64 end-of-central-directory record: the values a ZIP64 archive keeps
// where the 16- and 32-bit fields of the end record are too small.
struct Zip64EndRecord {
  std::uint32_t ThisDisk = 0;
  std::uint32_t CentralDirDisk = 0;
  std::uint64_t EntriesThisDisk = 0;
  std::uint64_t TotalEntries = 0;
  std::uint64_t CentralDirSize = 0;
  std::uint64_t CentralDirOffset = 0;
};

}  // namespace zipfmt

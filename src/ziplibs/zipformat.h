// ZIP on-disk records shared by the compressor and the extractor: signatures,
// little-endian access, extra fields and DOS date-times.
//
// Records handled: local file header (30 bytes + name + extra), data descriptor
// (optional signature, CRC, sizes of 4 or 8 bytes), central directory header
// (46 bytes + name + extra + comment), end of central directory (22 bytes +
// comment), ZIP64 end record (56 bytes) and its locator (20 bytes). Extra fields
// read: ZIP64 sizes/offset (0x0001), extended timestamp (0x5455), NTFS times
// (0x000a), Unicode path (0x7075). A value of 0xFFFFFFFF (or 0xFFFF) in a 32-bit
// (16-bit) field means "see the ZIP64 extra field" only for the fields ZIP64
// defines; readers take the ZIP64 value only when the field holds that marker.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ziplibs {

inline constexpr std::uint32_t kLocalHeaderSig = 0x04034B50;
inline constexpr std::uint32_t kCentralHeaderSig = 0x02014B50;
inline constexpr std::uint32_t kEndSig = 0x06054B50;
inline constexpr std::uint32_t kZip64EndSig = 0x06064B50;
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;
inline constexpr std::uint32_t kDescriptorSig = 0x08074B50;
inline constexpr std::uint32_t kSpanTempMarker = 0x30304B50;  // "PK00": single-part spanned set

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndSize = 22;
inline constexpr std::size_t kZip64EndSize = 56;
inline constexpr std::size_t kZip64LocatorSize = 20;

inline constexpr std::uint16_t kMethodStore = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;

inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagDescriptor = 0x0008;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
inline constexpr std::uint16_t kFlagUtf8 = 0x0800;
inline constexpr std::uint16_t kFlagMaskedHeaders = 0x2000;

inline constexpr std::uint8_t kHostFat = 0;
inline constexpr std::uint8_t kHostUnix = 3;
inline constexpr std::uint8_t kHostHpfs = 6;
inline constexpr std::uint8_t kHostNtfs = 11;

inline constexpr std::uint16_t kExtraZip64 = 0x0001;
inline constexpr std::uint16_t kExtraNtfs = 0x000A;
inline constexpr std::uint16_t kExtraTimestamp = 0x5455;
inline constexpr std::uint16_t kExtraUnicodePath = 0x7075;
inline constexpr std::uint16_t kExtraAes = 0x9901;

inline constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
inline constexpr std::uint16_t kMax16 = 0xFFFFu;

inline std::uint16_t get16(const unsigned char* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
inline std::uint32_t get32(const unsigned char* p) {
  return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}
inline std::uint64_t get64(const unsigned char* p) { return get32(p) | (std::uint64_t(get32(p + 4)) << 32); }
inline std::uint16_t get16(std::string_view s, std::size_t at) { return get16(reinterpret_cast<const unsigned char*>(s.data()) + at); }
inline std::uint32_t get32(std::string_view s, std::size_t at) { return get32(reinterpret_cast<const unsigned char*>(s.data()) + at); }
inline std::uint64_t get64(std::string_view s, std::size_t at) { return get64(reinterpret_cast<const unsigned char*>(s.data()) + at); }

inline void put16(std::string& out, std::uint16_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char(v >> 8));
}
inline void put32(std::string& out, std::uint32_t v) {
  put16(out, std::uint16_t(v & 0xFFFF));
  put16(out, std::uint16_t(v >> 16));
}
inline void put64(std::string& out, std::uint64_t v) {
  put32(out, std::uint32_t(v & 0xFFFFFFFFu));
  put32(out, std::uint32_t(v >> 32));
}
inline void set32(std::string& buf, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) buf[at + i] = char((v >> (8 * i)) & 0xFF);
}
inline void set16(std::string& buf, std::size_t at, std::uint16_t v) {
  buf[at] = char(v & 0xFF);
  buf[at + 1] = char(v >> 8);
}

// The data of the first extra field with this id, or nullopt. Walks the
// id/length pairs and stops at the first one that would run past the end.
std::optional<std::string_view> findExtra(std::string_view extra, std::uint16_t id);

// extra without any field of this id (fields that run past the end are dropped).
std::string removeExtra(std::string_view extra, std::uint16_t id);

// Values a ZIP64 extra field supplies for the header fields that hold the marker.
struct Zip64Values {
  bool needUncompressed = false, needCompressed = false, needOffset = false;
  std::uint64_t uncompressed = 0, compressed = 0, offset = 0;
};
// Fills the needed values from a ZIP64 extra field's data (in the fixed order
// uncompressed, compressed, offset). False when the field is too short.
bool readZip64(std::string_view data, Zip64Values& v);

// Modification time (Unix seconds) from an extended-timestamp or NTFS extra field.
std::optional<std::int64_t> extraModTime(std::string_view extra);

// Unix seconds to a DOS date-time (local time; date in the high word). Times before
// 1980 give 1980-01-01 00:00, after 2107 the last DOS date. Odd seconds round up
// so that the DOS time is never older than the file.
std::uint32_t unixToDos(std::int64_t t);
// DOS date-time (local time) to Unix seconds; nullopt for an impossible value.
std::optional<std::int64_t> dosToUnix(std::uint32_t dos);

// The standard CRC-32 of a text (used for the Unicode path field's check).
std::uint32_t crc32Of(std::string_view data, std::uint32_t crc = 0);

}  // namespace ziplibs

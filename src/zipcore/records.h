// ZIP on-disk records: signatures, fixed sizes, flag and field values, and
// little-endian access. Every multi-byte value on disk is little-endian.
//
// Records: local file header (30 bytes + name + extra), data descriptor (optional
// signature, CRC, sizes of 4 or 8 bytes), central directory header (46 bytes +
// name + extra + comment), end of central directory (22 bytes + comment), ZIP64 end
// record (56 bytes + extensible data) and its locator (20 bytes). A value of
// 0xFFFFFFFF (0xFFFF) in a 32-bit (16-bit) field means "see the ZIP64 extra field"
// only for the fields ZIP64 defines, and only when the field holds that value.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zipcore {

inline constexpr std::uint32_t kLocalHeaderSig = 0x04034B50;       // "PK\3\4"
inline constexpr std::uint32_t kCentralHeaderSig = 0x02014B50;     // "PK\1\2"
inline constexpr std::uint32_t kEndSig = 0x06054B50;               // "PK\5\6"
inline constexpr std::uint32_t kZip64EndSig = 0x06064B50;          // "PK\6\6"
inline constexpr std::uint32_t kZip64LocatorSig = 0x07064B50;      // "PK\6\7"
inline constexpr std::uint32_t kDigitalSignatureSig = 0x05054B50;  // "PK\5\5": closes a central directory
// "PK\7\8": a data descriptor, and also the marker at the very start of the first
// disk of a spanned set.
inline constexpr std::uint32_t kDescriptorSig = 0x08074B50;
inline constexpr std::uint32_t kSpanTempMarker = 0x30304B50;  // "PK00": a spanned set that fit one disk

inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kDataDescriptorSize = 16;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::size_t kEndSize = 22;
inline constexpr std::size_t kMaxCommentSize = 65535;
inline constexpr std::size_t kEndSearchSize = kEndSize + kMaxCommentSize;  // 65557
inline constexpr std::size_t kZip64EndSize = 56;                           // fixed part, without extensible data
inline constexpr std::size_t kZip64LocatorSize = 20;

inline constexpr std::uint16_t kMethodStore = 0;
inline constexpr std::uint16_t kMethodDeflate = 8;
inline constexpr std::uint16_t kMethodAes = 99;

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

// ---- little-endian access -------------------------------------------------------

inline std::uint16_t get16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t get32(const unsigned char* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
inline std::uint64_t get64(const unsigned char* p) {
  return std::uint64_t{get32(p)} | (std::uint64_t{get32(p + 4)} << 32);
}
inline const unsigned char* bytesOf(std::string_view s) { return reinterpret_cast<const unsigned char*>(s.data()); }
// Values at offset at of s; the caller checks that they lie within s.
inline std::uint16_t get16(std::string_view s, std::size_t at) { return get16(bytesOf(s) + at); }
inline std::uint32_t get32(std::string_view s, std::size_t at) { return get32(bytesOf(s) + at); }
inline std::uint64_t get64(std::string_view s, std::size_t at) { return get64(bytesOf(s) + at); }

inline void put16(unsigned char* p, std::uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void put32(unsigned char* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void put64(unsigned char* p, std::uint64_t v) {
  put32(p, static_cast<std::uint32_t>(v));
  put32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
// Appending forms.
inline void put16(std::string& out, std::uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
inline void put32(std::string& out, std::uint32_t v) {
  put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
  put16(out, static_cast<std::uint16_t>(v >> 16));
}
inline void put64(std::string& out, std::uint64_t v) {
  put32(out, static_cast<std::uint32_t>(v & 0xFFFFFFFFu));
  put32(out, static_cast<std::uint32_t>(v >> 32));
}

// ---- fixed parts of the records ---------------------------------------------------

static_assert(std::endian::native == std::endian::little, "CentralFields mirrors little-endian header bytes in memory");

#pragma pack(push, 1)
// The central file header's bytes 4..45 (everything after the signature), as stored.
struct CentralFields {
  std::uint16_t VersionMadeBy = 0;  // low byte: version (20 = 2.0); high byte: host system
  std::uint16_t VersionNeeded = 0;  // version needed to extract
  std::uint16_t GeneralFlags = 0;   // bit 0: encrypted; bit 3: data descriptor; bit 11: UTF-8 names
  std::uint16_t Method = 0;         // compression method (0 stored, 8 deflate, ...)
  std::uint16_t ModTime = 0;        // DOS time
  std::uint16_t ModDate = 0;        // DOS date
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;    // 0xFFFFFFFF: the real value is in the ZIP64 extra field
  std::uint32_t UncompressedSize = 0;  // likewise
  std::uint16_t NameLength = 0;        // length of the stored (raw) name
  std::uint16_t ExtraLength = 0;
  std::uint16_t CommentLength = 0;
  std::uint16_t DiskNumberStart = 0;  // volume holding the local header
  std::uint16_t InternalAttributes = 0;
  std::uint32_t ExternalAttributes = 0;  // low byte: DOS attributes; high word: Unix mode for Unix hosts
  std::uint32_t LocalHeaderOffset = 0;   // on its volume; 0xFFFFFFFF: see the ZIP64 extra field
};
#pragma pack(pop)
static_assert(sizeof(CentralFields) == 42, "the 42 central header bytes after the signature");

// The 22-byte end-of-central-directory record (without its comment).
struct EocdRecord {
  std::uint16_t ThisDisk = 0;        // a multi-disk set: number of the last disk (from 0)
  std::uint16_t CentralDirDisk = 0;  // disk where the central directory starts
  std::uint16_t EntriesThisDisk = 0;
  std::uint16_t TotalEntries = 0;
  std::uint32_t CentralDirSize = 0;
  std::uint32_t CentralDirOffset = 0;  // on its disk
  std::uint16_t CommentLength = 0;

  // p holds at least kEndSize bytes starting with the signature.
  static EocdRecord parse(const unsigned char* p);
  void write(unsigned char* p) const;
};

// The ZIP64 end-of-central-directory record: the values a ZIP64 archive keeps where
// the 16- and 32-bit fields of the end record are too small.
struct Zip64EndRecord {
  std::uint32_t ThisDisk = 0;
  std::uint32_t CentralDirDisk = 0;
  std::uint64_t EntriesThisDisk = 0;
  std::uint64_t TotalEntries = 0;
  std::uint64_t CentralDirSize = 0;
  std::uint64_t CentralDirOffset = 0;
};

// The ZIP64 locator (20 bytes starting with its signature): the stored file offset
// of the ZIP64 end record, or nullopt when the bytes are no locator.
std::optional<std::uint64_t> ParseZip64Locator(std::string_view locator);

// The ZIP64 end record's fixed part (56 bytes starting with its signature), or
// nullopt when the signature or the record size field do not fit.
std::optional<Zip64EndRecord> ParseZip64End(std::string_view record);

// ---- extra fields ---------------------------------------------------------------

// Calls fn(id, data, at) for each block (id 2, size 2, data) of an extra field, at
// being the block's offset; stops at the first block that runs past the end, or
// when fn returns false.
template <typename Fn>
void forEachExtra(std::string_view extra, Fn fn) {
  std::size_t at = 0;
  while (extra.size() - at >= 4) {
    const std::uint16_t id = get16(extra, at);
    const std::size_t len = get16(extra, at + 2);
    if (len > extra.size() - at - 4) return;  // block data runs past the field
    if (!fn(id, extra.substr(at + 4, len), at)) return;
    at += 4 + len;
  }
}

// The data of the first block with this id, or nullopt.
std::optional<std::string_view> findExtra(std::string_view extra, std::uint16_t id);

// extra without any block of this id (blocks that run past the end are dropped).
std::string removeExtra(std::string_view extra, std::uint16_t id);

// Values a ZIP64 block supplies, in its fixed order, for the header fields that
// hold their escape value: uncompressed size, compressed size, local header
// offset, disk number.
struct Zip64Values {
  bool needUncompressed = false, needCompressed = false, needOffset = false, needDisk = false;
  std::optional<std::uint64_t> uncompressed, compressed, offset;
  std::optional<std::uint32_t> disk;
};
// Reads the needed values from a ZIP64 block's data, in order; a value the block
// is too short for, and those after it, stay unset. True when every needed value
// was read.
bool readZip64(std::string_view data, Zip64Values& v);

// Modification time (Unix seconds) from an extended-timestamp or NTFS block.
std::optional<std::int64_t> extraModTime(std::string_view extra);

// ---- moving stored offsets ---------------------------------------------------------

// Moves the width-byte (4 or 8) offset at p by `by`. False, leaving it unchanged,
// when the result does not fit the field (a 4-byte field must also stay below its
// escape value 0xFFFFFFFF).
bool MoveOffsetField(unsigned char* p, int width, std::int64_t by);

enum class OffsetMove { Moved, TooLarge, Malformed };
// Moves the local-header offset stored in the central header at h (size bytes:
// the whole header with name, extra field and comment): the 32-bit field, or the
// ZIP64 block's value when the field holds its escape value.
OffsetMove MoveCentralHeaderOffset(unsigned char* h, std::size_t size, std::int64_t by);

// ---- DOS date-times ---------------------------------------------------------------

// Unix seconds to a DOS date-time (local time; date in the high word). Times before
// 1980 give 1980-01-01 00:00, after 2107 the last DOS date. Odd seconds round up so
// that the DOS time is never older than the file.
std::uint32_t unixToDos(std::int64_t t);
// DOS date-time (local time) to Unix seconds; nullopt for an impossible value.
std::optional<std::int64_t> dosToUnix(std::uint32_t dos);

// The standard CRC-32 of bytes, continuing from crc.
std::uint32_t crc32Of(std::string_view data, std::uint32_t crc = 0);

}  // namespace zipcore

// One entry of a ZIP archive's central directory as the engine keeps it.
//
// The first 42 bytes are a byte-for-byte copy of the central file header after its
// 4-byte signature (same order, widths and little-endian values), so code that
// writes headers back (spanning, self-extracting conversion) can copy them as they
// are. Beside them the entry carries its name and comment as UTF-8 text and the
// effective 64-bit sizes and offset, which differ from the 32-bit fields when the
// entry uses ZIP64 extensions.
#pragma once

#include <bit>
#include <cstdint>
#include <string>

static_assert(std::endian::native == std::endian::little,
              "ZipCentralFields mirrors little-endian header bytes in memory");

#pragma pack(push, 1)
// The central file header's bytes 4..45, as stored.
struct ZipCentralFields {
  std::uint16_t VersionMadeBy = 0;      // low byte: version (20 = 2.0); high byte: host system
  std::uint16_t VersionNeeded = 0;      // version needed to extract
  std::uint16_t GeneralFlags = 0;       // bit 0: encrypted; bit 3: data descriptor; bit 11: UTF-8 names
  std::uint16_t Method = 0;             // compression method (0 stored, 8 deflate, ...)
  std::uint16_t ModTime = 0;            // DOS time
  std::uint16_t ModDate = 0;            // DOS date
  std::uint32_t Crc32 = 0;
  std::uint32_t CompressedSize = 0;     // 0xFFFFFFFF: the real value is in the ZIP64 extra field
  std::uint32_t UncompressedSize = 0;   // likewise
  std::uint16_t NameLength = 0;         // length of the stored (raw) name
  std::uint16_t ExtraLength = 0;
  std::uint16_t CommentLength = 0;
  std::uint16_t DiskNumberStart = 0;    // volume holding the local header
  std::uint16_t InternalAttributes = 0;
  std::uint32_t ExternalAttributes = 0; // low byte: DOS attributes; high word: Unix mode for Unix hosts
  std::uint32_t LocalHeaderOffset = 0;  // on its volume; 0xFFFFFFFF: see the ZIP64 extra field
};
#pragma pack(pop)
static_assert(sizeof(ZipCentralFields) == 42, "the 42 central header bytes after the signature");

struct ZipDirEntry : ZipCentralFields {
  // The stored name after character-set conversion (UTF-8). ZIP names keep "/" as
  // their separator, which is also the native one here.
  std::string FileName;
  // The stored file comment after character-set conversion; empty when none.
  std::string FileComment;

  // Effective values: the 32-bit field, or the ZIP64 extra field's value where the
  // 32-bit field holds its escape value. The listing uses these.
  std::uint64_t CompressedSize64 = 0;
  std::uint64_t UncompressedSize64 = 0;
  std::uint64_t LocalHeaderOffset64 = 0;

  std::uint8_t HostSystem() const { return static_cast<std::uint8_t>(VersionMadeBy >> 8); }
  bool Encrypted() const { return (GeneralFlags & 1u) != 0; }
  // DOS date-time as one value: time in the low word, date in the high word.
  std::uint32_t DosDateTime() const { return static_cast<std::uint32_t>(ModTime) | (std::uint32_t{ModDate} << 16); }
  // A folder entry: the name ends in "/".
  bool IsFolder() const { return !FileName.empty() && FileName.back() == '/'; }
};

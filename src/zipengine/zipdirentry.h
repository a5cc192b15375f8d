// One entry of a ZIP archive's central directory as the engine keeps it.
//
// The first 42 bytes are a byte-for-byte copy of the central file header after its
// 4-byte signature (same order, widths and little-endian values), so code that
// writes headers back (spanning, self-extracting conversion) can copy them as they
// are. Beside them the entry carries its name and comment as UTF-8 text and the
// effective 64-bit sizes and offset, which differ from the 32-bit fields when the
// entry uses ZIP64 extensions.
#pragma once

#include <cstdint>
#include <string>

#include "zipcore/records.h"

// The central file header's bytes 4..45, as stored.
using ZipCentralFields = zipcore::CentralFields;

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

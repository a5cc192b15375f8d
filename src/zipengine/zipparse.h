// Parsers of the directory records over bytes already read. They check every
// length, count and offset against the bytes they are given and never read past
// them; the engine turns their results into messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "zipengine/zipcharset.h"
#include "zipengine/zipdirentry.h"
#include "zipengine/zipformat.h"

namespace zipparse {

// ---- end record (eocd.cpp) ----------------------------------------------------

// Where an end record sits in the last bytes of a file.
struct EocdHit {
  std::size_t pos = 0;             // position in the searched bytes
  zipfmt::EocdRecord record;
  std::uint64_t commentEnd = 0;    // file offset where its comment ends (may lie past the file)
  int rank = 1;                    // 3, 2 or 1: the preference below
};

// Finds the end record in tail, the last tail.size() bytes of a file of fileSize
// bytes. Candidates are the "PK\5\6" signatures whose 22 bytes fit in tail,
// scanned from the end. Preferred, in this order, the last one in the file:
//  1. a record whose counts fit its directory size and whose comment ends at the
//     end of the file (or where only zero padding to a 512-byte block follows);
//  2. a record whose counts fit its directory size;
//  3. any record.
// A signature inside a comment (a fake record) therefore loses to the real one.
std::optional<EocdHit> FindEocd(std::string_view tail, std::uint64_t fileSize);

// True when the bytes after an end record (from commentEnd to the end of the file)
// are only zero padding to a 512-byte block: fewer than 512 of them, all zero, and
// the file size a multiple of 512. surplus holds those bytes.
bool IsToleratedPadding(std::string_view surplus, std::uint64_t fileSize);

// The ZIP64 end-of-directory locator (20 bytes starting with its signature): the
// stored file offset of the ZIP64 end record, or nullopt when p is no locator.
std::optional<std::uint64_t> ParseZip64Locator(std::string_view locator);

// The ZIP64 end record's fixed part (56 bytes starting with its signature), or
// nullopt when the signature or the record size field do not fit.
std::optional<zipfmt::Zip64EndRecord> ParseZip64End(std::string_view record);

// ---- central directory (centraldir.cpp) ---------------------------------------

enum class CentralError {
  None,
  ShortHeader,    // fewer than 46 bytes left
  BadSignature,   // not "PK\1\2"
  ShortName,      // the name runs past the end
  ShortExtra,     // the extra field runs past the end
  ShortComment,   // the comment runs past the end
};

// Parses the central header at the start of bytes into entry (header fields,
// name, comment, effective 64-bit values). On success consumed is the header's
// whole length (46 + name + extra + comment).
CentralError ParseCentralHeader(std::string_view bytes, CodePageOpts codePage, ZipDirEntry& entry,
                                std::size_t& consumed);

// ---- extra fields (extrafields.cpp) -------------------------------------------

// Values an entry's extra field overrides.
struct ExtraValues {
  std::optional<std::uint64_t> uncompressedSize, compressedSize, localHeaderOffset;
  std::optional<std::uint32_t> diskNumberStart;
  std::string_view unicodePath;   // data of a 0x7075 block, empty when none
};

// Reads the blocks of an extra field. fields are the header's 32-bit values: only
// those holding their escape value (0xFFFFFFFF, 0xFFFF for the disk) are read from
// a ZIP64 block, in the order size, compressed size, offset, disk. A block that
// runs past the field's end ends the walk; unknown blocks are skipped.
ExtraValues ReadExtraField(std::string_view extra, const ZipCentralFields& fields);

}  // namespace zipparse

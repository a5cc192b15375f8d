// Reading an archive's directory: the end record (with ZIP64), the central
// directory and its entries. The engine's listing and both libraries read every
// archive through these functions, so they see the same entries with the same
// names.
//
// Quirks handled:
//  - an end record found by scanning back over a comment of up to 65535 bytes; a
//    "PK\5\6" inside a comment (a fake record) loses to the real one;
//  - data after the end record, zero padding to a 512-byte block, a comment cut
//    short by the end of the file;
//  - bytes in front of the archive (self-extracting stubs), whether the stored
//    offsets count them or not: the directory is taken to start right in front
//    of the (ZIP64) end record, where its size says, and every stored offset is
//    moved by as much as that start differs from the stored one;
//  - an entry count that disagrees with the directory (writers that store the
//    count modulo 65536, or lie): the directory is walked by its size, and every
//    header found there is an entry;
//  - names in code page 437, UTF-8 or marked UTF-8; Unicode Path blocks; ZIP64
//    sizes and offsets.
// Every length, count and offset is checked against the bytes it describes;
// nothing is allocated by a size field the file cannot hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "zipcore/inputfile.h"
#include "zipcore/names.h"
#include "zipcore/records.h"

namespace zipcore {

// One entry of the central directory.
struct ZipEntry {
  CentralFields stored;  // the header's bytes 4..45 as stored

  // Effective values: the header's, or the ZIP64 extra field's where the header
  // field holds its escape value.
  std::uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
  std::uint32_t dosTime = 0;  // DOS date-time, date in the high word
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0, uncompressedSize = 0;
  std::uint64_t storedOffset = 0;  // the local header's offset as the directory gives it
  // Where the local header is in this file: storedOffset moved by the directory's
  // shift. Meaningless when offsetInFile is false (the move leaves 0..2^64).
  std::uint64_t localOffset = 0;
  bool offsetInFile = true;
  std::uint32_t diskNumberStart = 0;
  std::uint16_t internalAttr = 0;
  std::uint32_t externalAttr = 0;
  // A size or offset field holds its ZIP64 escape value but the extra field does
  // not supply the value: the entry's data cannot be found.
  bool zip64Missing = false;

  std::string rawName;  // the stored bytes
  std::string name;     // UTF-8 (EntryName): what is shown, matched and extracted
  std::string extra;    // central extra field, as stored
  std::string comment;  // file comment, as stored

  std::uint8_t host() const { return static_cast<std::uint8_t>(versionMadeBy >> 8); }
  bool encrypted() const { return (flags & kFlagEncrypted) != 0; }
  // A folder: the name ends in a separator, or the attributes say so.
  bool isDirectory() const;
  bool isSymlink() const;
  // Unix permission and type bits when the entry carries them, else 0.
  std::uint32_t unixMode() const;
  // Modification time in Unix seconds: an extra field's, else the DOS time's.
  std::int64_t modTime() const;
};

// ---- the end records --------------------------------------------------------------

// Where an end record sits in the last bytes of a file.
struct EocdHit {
  std::size_t pos = 0;  // position in the searched bytes
  EocdRecord record;
  std::uint64_t commentEnd = 0;  // file offset where its comment ends (may lie past the file)
  int rank = 1;                  // 3, 2 or 1: the preference below
};

// Finds the end record in tail, the last tail.size() bytes of a file of fileSize
// bytes. Candidates are the "PK\5\6" signatures whose 22 bytes fit in tail, scanned
// from the end. Preferred, in this order, the last one in the file:
//  3. a record whose counts fit its directory size and whose comment ends at the
//     end of the file (or where only zero padding to a 512-byte block follows);
//  2. a record whose counts fit its directory size;
//  1. any record.
std::optional<EocdHit> FindEocd(std::string_view tail, std::uint64_t fileSize);

// True when the bytes after an end record are only zero padding to a 512-byte
// block: fewer than 512 of them, all zero, and the file size a multiple of 512.
bool IsToleratedPadding(std::string_view surplus, std::uint64_t fileSize);

struct EndRecords {
  EocdRecord record;             // the 22-byte end record as stored
  std::uint64_t offset = 0;      // file offset of the end record
  std::uint64_t commentEnd = 0;  // where its comment ends by its length (may lie past the file)
  std::string comment;           // the comment bytes the file holds
  // Bytes after the comment other than zero padding, or a comment the end of the
  // file cuts short.
  bool trailingGarbage = false;
  std::optional<Zip64EndRecord> zip64;
  std::uint64_t zip64Offset = 0;  // where the ZIP64 end record really is

  // Effective values: the ZIP64 end record's where the archive has one.
  std::uint32_t thisDisk() const { return zip64 ? zip64->ThisDisk : record.ThisDisk; }
  std::uint32_t centralDisk() const { return zip64 ? zip64->CentralDirDisk : record.CentralDirDisk; }
  std::uint64_t totalEntries() const { return zip64 ? zip64->TotalEntries : record.TotalEntries; }
  std::uint64_t centralSize() const { return zip64 ? zip64->CentralDirSize : record.CentralDirSize; }
  std::uint64_t storedCentralOffset() const {
    if (zip64) return zip64->CentralDirOffset;
    return record.CentralDirOffset;
  }
  // Where the central directory must end: at the ZIP64 end record or the end record.
  std::uint64_t directoryEnd() const { return zip64 ? zip64Offset : offset; }
};

enum class EndSearch { Found, NotFound, ReadError };

// Finds the end record of file (the last 22 bytes first, then the last 65557) and
// the ZIP64 end record its locator points to. A locator's offset is taken as
// stored when a record is there; otherwise (bytes added in front of the archive)
// the record is looked for right before the locator, where writers put it.
EndSearch FindEndRecords(const InputFile& file, EndRecords& end);

// ---- the central directory --------------------------------------------------------

enum class DirError {
  None,
  NotZip,         // no end record
  ReadError,      // the file could not be read
  SizeBeyondEnd,  // the directory size is larger than what lies before the end record
  ShortHeader,    // a header is cut short by the directory's end
  BadSignature,   // not "PK\1\2" where a header must start
  ShortName,      // a name runs past the directory's end
  ShortExtra,     // an extra field runs past the directory's end
  ShortComment,   // a file comment runs past the directory's end
};

// Words for an error, for messages: "not a ZIP archive (no end of central directory
// record)" and the like.
const char* DescribeDirError(DirError error);

struct Directory {
  EndRecords end;
  std::uint64_t fileSize = 0;
  std::uint64_t centralOffset = 0;  // where the central directory really starts
  std::uint64_t centralSize = 0;
  std::uint64_t storedCentralOffset = 0;  // where the end record says it starts
  std::int64_t offsetShift = 0;           // centralOffset - storedCentralOffset
  // The end record's stored directory offset differs from where the directory
  // really starts (bytes were added in front without adjusting the offsets).
  bool structureError = false;
  // File offset of the first local header: the length of a program stub in front
  // of the ZIP data (0 for a plain archive, or when the first header is not in
  // front of the directory). Without entries, the directory's start.
  std::uint64_t prefixLength = 0;
  std::uint64_t recordedEntries = 0;  // the entry count the end records give
  std::vector<ZipEntry> entries;      // in directory order

  // The directory holds another number of headers than the end record counts.
  bool countDisagrees() const { return entries.size() != recordedEntries; }
  // Fewer headers than counted: entries may be missing (a count stored modulo
  // 65536 gives more headers than counted, never fewer).
  bool entriesMissing() const { return entries.size() < recordedEntries; }
};

// Reads the central directory that end describes, with names converted by
// codePage. On an error the entries read before it stay in dir.entries.
DirError ReadCentralDirectory(const InputFile& file, const EndRecords& end, CodePageOpts codePage, Directory& dir);

// FindEndRecords and ReadCentralDirectory in one.
DirError ReadDirectory(const InputFile& file, Directory& dir, CodePageOpts codePage = cpAuto);

// Parses the central header at the start of bytes into entry (fields, names,
// ZIP64 values; localOffset equals storedOffset). On success consumed is the
// header's whole length (46 + name + extra + comment).
DirError ParseCentralHeader(std::string_view bytes, CodePageOpts codePage, ZipEntry& entry, std::size_t& consumed);

}  // namespace zipcore

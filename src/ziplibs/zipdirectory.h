// Reading an archive's directory: the end record (with ZIP64), the central
// directory, and each entry's local header.
//
// Quirks handled: an end record found by scanning back over a comment of up to
// 65535 bytes (the candidate whose comment reaches the end of the file wins, so a
// fake record inside a comment is skipped); data after the end record; bytes in
// front of the archive (self-extracting stubs) whether the stored offsets count
// them or not (every offset is corrected by the difference between where the
// central directory really starts and where the end record says it does).
// Nothing here allocates by a size field without checking it against the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ziplibs {

struct ZipEntry {
  std::uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
  std::uint32_t dosTime = 0;  // DOS date-time, date in the high word
  std::uint32_t crc = 0;
  std::uint64_t compressedSize = 0, uncompressedSize = 0;
  std::uint64_t localOffset = 0;  // absolute file offset of the local header (corrected)
  std::uint16_t internalAttr = 0;
  std::uint32_t externalAttr = 0;
  std::string rawName;  // the stored bytes
  std::string name;     // UTF-8 (converted from code page 437 where the entry says so)
  std::string extra;    // central extra field, as stored
  std::string comment;

  std::uint8_t host() const { return std::uint8_t(versionMadeBy >> 8); }
  bool encrypted() const { return flags & 0x0001; }
  bool isDirectory() const;
  bool isSymlink() const;
  // Unix permission and type bits when the entry carries them, else 0.
  std::uint32_t unixMode() const;
  // Modification time in Unix seconds: an extra field's, else the DOS time's.
  std::int64_t modTime() const;
};

struct ZipDirectory {
  std::uint64_t fileSize = 0;
  std::uint64_t prefixLength = 0;  // bytes in front of the first local header
  std::uint64_t centralOffset = 0;  // where the central directory really starts
  std::uint64_t centralSize = 0;
  std::uint64_t offsetShift = 0;  // added to every stored offset (prefix not counted)
  std::string comment;
  std::vector<ZipEntry> entries;
};

// Reads the directory of the archive open at fd. False (error says why) when the
// file is not a ZIP archive or its directory is damaged.
bool readZipDirectory(int fd, ZipDirectory& dir, std::string& error);

// The local header of an entry, checked against the directory.
struct LocalHeader {
  std::uint64_t headerOffset = 0;
  std::uint64_t dataOffset = 0;     // first byte of the member's data
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t dosTime = 0;
  bool zip64 = false;               // the local header has a ZIP64 extra field
  std::uint64_t descriptorSize = 0; // bytes of the data descriptor after the data (0: none)
  std::string raw;                  // the header with name and extra, as stored
};

// Reads and checks the local header of e: signature, and data plus descriptor
// within limit (the start of the central directory). False with error otherwise.
bool readLocalHeader(int fd, const ZipEntry& e, std::uint64_t limit, LocalHeader& lh, std::string& error);

// Name for display and matching: code page 437 converted to UTF-8 for entries
// written by MS-DOS/OS/2 hosts (and old NTFS ones) without the UTF-8 flag; the
// Unicode path extra field when its check matches; else the bytes as stored.
std::string entryDisplayName(std::uint16_t versionMadeBy, std::uint16_t flags, std::string_view rawName,
                             std::string_view extra);

}  // namespace ziplibs

// Writing the records of a new archive: local headers, central headers and the
// end records (in ZIP64 form when an offset, a size or the entry count needs it).
//
// Every length field of a header is 16 bits wide. A record is fitted to them
// before its central header is written (FitCentralRecord): a name or comment that
// cannot fit is refused, and extra-field blocks that leave no room for the ZIP64
// block the header needs are dropped. No length is ever cut to 16 bits.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zipcore {

// What the central directory records about one member.
struct CentralRecord {
  std::uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
  std::uint32_t dosTime = 0, crc = 0;
  std::uint64_t compressedSize = 0, uncompressedSize = 0, localOffset = 0;
  std::uint16_t internalAttr = 0;
  std::uint32_t externalAttr = 0;
  std::string name;
  std::string extra;  // without a ZIP64 block: the writer adds one when needed
  std::string comment;
};

// Makes r's central header fit its 16-bit length fields, its sizes and offset
// being final. False (why set) when its name or comment is longer than 65535
// bytes. Otherwise true; blocks of the extra field that leave no room for the
// ZIP64 block are dropped, largest first, and their ids appended to dropped.
bool FitCentralRecord(CentralRecord& r, std::string& why, std::vector<std::uint16_t>& dropped);

// Local header bytes for a new member (name and extra included). With zip64 the
// header holds a ZIP64 block first, at kLocalHeaderSize + name length. The name
// and extra field must fit 16 bits (names of files do, being paths); should they
// not, their lengths are clamped, never cut to 16 bits.
std::string localHeaderFor(const CentralRecord& r, const std::string& localExtra, bool zip64);

// The central header of a fitted record (FitCentralRecord), with a ZIP64 block for
// whichever of size, compressed size and offset do not fit 32 bits (their fields
// then hold 0xFFFFFFFF).
std::string centralHeaderFor(const CentralRecord& r);

// The end records that follow a central directory of count headers and cdSize
// bytes starting at cdStart: the ZIP64 end record and its locator when a value
// needs them, then the end record with the comment (cut to 65535 bytes).
std::string endRecordsFor(std::uint64_t count, std::uint64_t cdSize, std::uint64_t cdStart, const std::string& comment);

}  // namespace zipcore

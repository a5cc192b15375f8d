// Local file headers: 30 fixed bytes ("PK\3\4", version, flags, method, DOS time,
// CRC-32, sizes, name and extra field lengths), then the name and extra field,
// then the member's data, then a data descriptor when flag bit 3 is set.
#pragma once

#include <cstdint>
#include <string>

#include "zipcore/directory.h"
#include "zipcore/inputfile.h"

namespace zipcore {

struct LocalHeader {
  std::uint64_t headerOffset = 0;
  std::uint64_t dataOffset = 0;  // first byte of the member's data
  std::uint16_t versionNeeded = 0;
  std::uint16_t flags = 0;
  std::uint16_t method = 0;
  std::uint32_t dosTime = 0;
  std::uint32_t crc = 0;
  std::uint32_t compressedSize = 0;  // as stored (0xFFFFFFFF: see the ZIP64 block)
  std::uint32_t uncompressedSize = 0;
  bool zip64 = false;                // the header has a ZIP64 extra block
  std::uint64_t descriptorSize = 0;  // bytes of the data descriptor after the data (0: none)
  std::string name;                  // as stored
  std::string extra;                 // as stored
  std::string raw;                   // the whole header with name and extra, as stored
};

// Reads the local header of e and checks that its data (and data descriptor) lie
// in front of limit (the start of the central directory). False with error
// (words for a message) otherwise.
bool readLocalHeader(const InputFile& file, const ZipEntry& e, std::uint64_t limit, LocalHeader& lh,
                     std::string& error);

// What the local header says otherwise than the central directory: "name",
// "compression method", "encryption", "CRC-32", "sizes", joined by ", ", or empty
// when they agree. CRC and sizes are compared only when the local header carries
// them (no data descriptor); ZIP64 sizes are taken from its ZIP64 block.
std::string LocalHeaderDisagreement(const LocalHeader& lh, const ZipEntry& e);

}  // namespace zipcore

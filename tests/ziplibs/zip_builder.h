// Builds ZIP archives byte by byte for tests, including ones no sane writer makes:
// lying sizes and CRCs, hostile names, links, odd methods, overlapping members.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ziptest {

struct CraftEntry {
  std::string name;
  std::string data;                   // the member's contents
  std::uint16_t method = 8;           // 8: deflated here with zlib; other values store data as given
  std::optional<std::string> packed;  // use these bytes as the member's data instead
  std::optional<std::uint32_t> crc;   // lie about the CRC
  std::optional<std::uint32_t> size;  // lie about the uncompressed size
  std::uint8_t host = 3;              // 3 Unix, 0 MS-DOS
  std::uint32_t mode = 0100644;       // Unix mode (host 3)
  std::uint16_t flags = 0;
  std::uint32_t dosTime = 0x58AF5000;        // 2024-05-15 10:00:00
  std::optional<std::uint64_t> offset;       // point the central header elsewhere
  std::optional<std::string> localName;      // the local header says another name
  std::optional<std::uint16_t> localMethod;  // ... or another method
};

// An entry with a name and contents; the other fields keep their defaults.
inline CraftEntry craft(std::string name, std::string data) {
  CraftEntry e;
  e.name = std::move(name);
  e.data = std::move(data);
  return e;
}

// The archive: prefix, local headers and data, central directory, end record.
std::string buildZip(const std::vector<CraftEntry>& entries, const std::string& prefix = "");

// Raw deflate of data (zlib, level 6).
std::string rawDeflate(const std::string& data);

std::uint32_t crcOf(const std::string& data);

}  // namespace ziptest

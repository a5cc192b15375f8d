#include "zipengine/zipcharset.h"

#include <zlib.h>

#include "platform/codepage.h"
#include "zipengine/zipformat.h"

namespace {

bool takesOemConversion(std::uint16_t versionMadeBy, CodePageOpts codePage) {
  const unsigned host = versionMadeBy >> 8;
  const unsigned version = versionMadeBy & 0xFF;
  return (codePage == cpAuto && host == 0) || host == 6 || (host == 11 && version == 50) || codePage == cpOEM;
}

}  // namespace

std::string ZipTextToUtf8(std::string_view raw, std::uint16_t versionMadeBy, std::uint16_t generalFlags,
                          CodePageOpts codePage) {
  if (platform::isAscii(raw)) return std::string(raw);
  if (generalFlags & 0x0800) {
    // Declared UTF-8; a writer that set the flag on other bytes still gets readable text.
    return platform::isValidUtf8(raw) ? std::string(raw) : platform::cp437ToUtf8(raw);
  }
  if (takesOemConversion(versionMadeBy, codePage)) return platform::cp437ToUtf8(raw);
  return platform::isValidUtf8(raw) ? std::string(raw) : platform::cp437ToUtf8(raw);
}

std::string UnicodePathName(std::string_view data, std::string_view rawHeaderName) {
  // Block data: version (1 byte, 1), CRC-32 of the header name (4), UTF-8 name.
  if (data.size() < 6) return {};
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  if (p[0] != 1) return {};
  const std::uint32_t stored = zipfmt::get32(p + 1);
  const auto crc = static_cast<std::uint32_t>(
      ::crc32(0L, reinterpret_cast<const Bytef*>(rawHeaderName.data()), static_cast<uInt>(rawHeaderName.size())));
  if (crc != stored) return {};
  std::string_view name = data.substr(5);
  if (!platform::isValidUtf8(name)) return {};
  return std::string(name);
}

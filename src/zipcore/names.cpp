#include "zipcore/names.h"

#include <cstdio>

#include "platform/codepage.h"
#include "zipcore/records.h"

namespace zipcore {

namespace {

bool takesOemConversion(std::uint16_t versionMadeBy, CodePageOpts codePage) {
  const unsigned host = versionMadeBy >> 8;
  const unsigned version = versionMadeBy & 0xFF;
  return (codePage == cpAuto && host == kHostFat) || host == kHostHpfs || (host == kHostNtfs && version == 50) ||
         codePage == cpOEM;
}

}  // namespace

std::string ZipTextToUtf8(std::string_view raw, std::uint16_t versionMadeBy, std::uint16_t generalFlags,
                          CodePageOpts codePage) {
  if (platform::isAscii(raw)) return std::string(raw);
  if (generalFlags & kFlagUtf8) {
    // Declared UTF-8; a writer that set the flag on other bytes still gets readable text.
    return platform::isValidUtf8(raw) ? std::string(raw) : platform::cp437ToUtf8(raw);
  }
  if (takesOemConversion(versionMadeBy, codePage)) return platform::cp437ToUtf8(raw);
  return platform::isValidUtf8(raw) ? std::string(raw) : platform::cp437ToUtf8(raw);
}

std::string UnicodePathName(std::string_view data, std::string_view rawHeaderName) {
  // Block data: version (1 byte, 1), CRC-32 of the header name (4), UTF-8 name.
  if (data.size() < 6 || static_cast<unsigned char>(data[0]) != 1) return {};
  if (get32(data, 1) != crc32Of(rawHeaderName)) return {};
  const std::string_view name = data.substr(5);
  if (!platform::isValidUtf8(name)) return {};
  return std::string(name);
}

std::string EntryName(std::string_view rawName, std::string_view extra, std::uint16_t versionMadeBy,
                      std::uint16_t generalFlags, CodePageOpts codePage) {
  if (!(generalFlags & kFlagUtf8)) {
    if (auto block = findExtra(extra, kExtraUnicodePath)) {
      std::string name = UnicodePathName(*block, rawName);
      if (!name.empty()) return name;
    }
  }
  return ZipTextToUtf8(rawName, versionMadeBy, generalFlags, codePage);
}

std::string PrintableName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char buf[8];
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      // U+0080..U+009F: two bytes, C2 80 .. C2 9F.
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
      out += buf;
      ++i;
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  return out;
}

}  // namespace zipcore

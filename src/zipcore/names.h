// Character sets of stored names and comments, and names made safe to print.
//
// Old archives store names in the DOS code page 437; newer ones mark UTF-8 names
// with general-flag bit 11; Unix tools store the bytes of the local file system,
// which today are UTF-8; some writers add an Info-ZIP Unicode Path block (0x7075)
// with the UTF-8 form of a name stored otherwise. Names and comments are always
// handed on as valid UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// How names and comments are converted (the engine's CodePage property).
enum CodePageOpts { cpAuto, cpNone, cpOEM };

namespace zipcore {

// The UTF-8 form of a stored name or comment of an entry whose header holds
// versionMadeBy (low byte version, high byte host) and generalFlags.
//  - bit 11 set: the text is UTF-8 already and is kept.
//  - converted from code page 437 when: cpAuto and host 0 (MS-DOS/FAT); host 6
//    (HPFS); host 11 (NTFS) with version byte 50; or cpOEM.
//  - otherwise kept as stored, unless it is not valid UTF-8: such bytes are read as
//    code page 437 too, so the result is always valid UTF-8.
std::string ZipTextToUtf8(std::string_view raw, std::uint16_t versionMadeBy, std::uint16_t generalFlags,
                          CodePageOpts codePage);

// The name an Info-ZIP Unicode Path extra block (0x7075) gives for a header name:
// data is the block's data (after id and size). Empty when the block is malformed,
// of an unknown version, not valid UTF-8, or written for another header name (its
// CRC-32 does not match rawHeaderName).
std::string UnicodePathName(std::string_view data, std::string_view rawHeaderName);

// The name of an entry as every reader shows and matches it: a name marked UTF-8 as
// it is; else the Unicode Path block's name when the central extra field has one
// written for this name; else ZipTextToUtf8.
std::string EntryName(std::string_view rawName, std::string_view extra, std::uint16_t versionMadeBy,
                      std::uint16_t generalFlags, CodePageOpts codePage);

// text (UTF-8) with every control character written out, so that printing it
// cannot move the cursor, ring the bell, start a new line or end a C string:
// bytes 0x00..0x1F and 0x7F as "\xHH", the C1 controls U+0080..U+009F as "\uHHHH".
// Other text, backslashes included, is unchanged.
std::string PrintableName(std::string_view text);

}  // namespace zipcore

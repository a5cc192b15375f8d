// Character sets of stored names: code page 437 (the old DOS set) to UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Converts each byte from code page 437 to UTF-8; bytes below 128 are unchanged.
std::string cp437ToUtf8(std::string_view text);

// True when text is well-formed UTF-8 (no overlongs, no surrogates, <= U+10FFFF).
bool isValidUtf8(std::string_view text);

// True when every byte is below 128.
bool isAscii(std::string_view text);

}  // namespace platform

// The settings block of a self-extracting program, and the layout around it.
//
// A self-extracting program is the stub program, then this 256-byte block, then
// the ZIP data with every stored offset counting the bytes in front. The block:
//   0  3  "MPU"
//   3  1  option bits (kSfx... below)
//   4  1  length of the caption
//   5  1  length of the default folder
//   6  1  length of the command line
//   7  .. the three texts one after the other; the rest of the block is zero.
// The texts together fill at most 249 bytes. The engine writes the block and the
// stub reads it back through these functions only, so the two always agree.
//
// A block read from a file is not trusted: lengths that run past the block are a
// damaged block, never a read beyond it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "zipcore/inputfile.h"

namespace zipcore {

inline constexpr std::size_t kSfxBlockSize = 256;
inline constexpr std::size_t kSfxTextsOffset = 7;
inline constexpr std::size_t kSfxTextLimit = kSfxBlockSize - kSfxTextsOffset;  // 249

// Option bits of byte 3.
inline constexpr std::uint8_t kSfxAskCmdLine = 1;       // the user may skip the command line
inline constexpr std::uint8_t kSfxAskFiles = 2;         // the user may choose the entries
inline constexpr std::uint8_t kSfxHideOverwrite = 4;    // the user may not change the overwrite mode
inline constexpr std::uint8_t kSfxOverwriteAlways = 8;  // existing files are replaced
inline constexpr std::uint8_t kSfxOverwriteNever = 16;  // existing files are kept
inline constexpr std::uint8_t kSfxNoSizeCheck = 32;     // the program does not check its own size
inline constexpr std::uint8_t kSfxAutoRun = 64;         // extract at once, asking nothing

enum class SfxOverwrite { Confirm, Always, Never };

struct SfxSettings {
  std::uint8_t options = 0;
  std::string caption;
  std::string defaultDir;   // "><": a fresh temporary folder
  std::string commandLine;  // "program|arguments", "><" standing for the extraction folder

  bool has(std::uint8_t bit) const { return (options & bit) != 0; }
  // Both mode bits set (no writer does that) keep existing files: the safer reading.
  SfxOverwrite overwrite() const;
};

// Length of the three texts together.
std::size_t SfxTextsLength(const SfxSettings& s);

// The 256-byte block for s; empty when the texts hold more than kSfxTextLimit
// bytes together.
std::string EncodeSfxBlock(const SfxSettings& s);

enum class SfxBlockRead {
  Ok,
  Missing,  // no "MPU" where the block belongs: a stub without settings
  Damaged,  // "MPU" there, but the lengths run past the block
};

// Reads a block (exactly kSfxBlockSize bytes, else Missing) into s.
SfxBlockRead DecodeSfxBlock(std::string_view block, SfxSettings& s);

// Reads the block of a self-extracting program whose ZIP data begin at
// contentStart: the kSfxBlockSize bytes right in front of them.
SfxBlockRead ReadSfxBlock(const InputFile& file, std::uint64_t contentStart, SfxSettings& s);

// The end record of an archive without entries whose directory would start at
// centralOffset (the stub's length plus the block's): what a new, empty
// self-extracting program ends with. Empty when the offset does not fit 32 bits.
std::string EmptyEndRecord(std::uint64_t centralOffset);

}  // namespace zipcore

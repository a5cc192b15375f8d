// The LZW decoder of GIF raster data.
#pragma once

#include <cstdint>
#include <span>

#include "pictures/gifimage.h"

namespace pictures {

// Largest string one LZW code can stand for (the table has 4096 entries).
inline constexpr std::uint64_t kMaxLzwString = 4096;

// Raises "Invalid LZW Code Size: %d" unless 2 <= size <= 9.
void CheckLzwCodeSize(int size);

// Decodes raster (whose sub-block chain lies in stream, already checked to be
// complete and within it) into bitmap, which is allocated with the frame's width
// and height. Pixels go left to right, rows top to bottom, or in the four
// interlace passes. Raises EGIFError: "Invalid LZW Code Size: %d", "Invalid stream
// format", "Index %d out of range [0..%d]" for a pixel value no colour table can
// hold, and "Truncated GIF image data" when the codes run out before the end code
// or the last pixel.
void DecodeLzw(std::span<const std::uint8_t> stream, const TRasterData& raster, bool interlaced, int colorCount,
               TPixelBuffer& bitmap);

}  // namespace pictures

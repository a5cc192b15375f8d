// The LZW decoder of GIF raster data.
#pragma once

#include <cstdint>
#include <span>

#include "pictures/gifimage.h"

namespace pictures {

// Raises "Invalid LZW Code Size: %d" unless 2 <= size <= 9.
void CheckLzwCodeSize(int size);

// Whether dataBytes of raster data at the given code size can hold the codes of
// `pixels` pixels at all. The k-th code after a clear stands for at most k + 1
// pixels (its string grows by one per code), so data that cannot reach the count
// belong to a picture that lies about its size.
bool LzwCanYield(std::uint64_t dataBytes, int codeSize, std::uint64_t pixels);

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

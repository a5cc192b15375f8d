// Helpers of the picture tests: a GIF writer whose LZW output uses only
// single-pixel codes (kept in step with the decoder's code widths, with options
// to leave out clear codes or write raw codes), and a reader of PPM/PGM files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pictures/graphic.h"

namespace picturetest {

struct ImageOptions {
  int codeSize = 0;  // 0: the smallest that holds the colour count, at least 2
  bool interlaced = false;
  bool startWithClear = true;
  bool clearWhenFull = true;  // false: the table stays full ("deferred clear")
  bool endCode = true;
  std::size_t subBlockSize = 255;
  std::vector<pictures::TRGB> localColors;
};

class GifWriter {
 public:
  // Signature and logical screen; a global colour table when colors is not empty
  // (its size must be a power of two from 2 to 256).
  GifWriter(int width, int height, const std::vector<pictures::TRGB>& colors, const char* version = "GIF89a");

  GifWriter& extension(std::uint8_t label, const std::vector<std::string>& blocks);
  GifWriter& graphicControl(int delay, int disposal = 0, int transparentIndex = -1);
  // An image of the given pixel indices (width * height, rows top-down).
  GifWriter& image(int left, int top, int width, int height, const std::vector<std::uint8_t>& pixels,
                   const ImageOptions& options = {});
  // An image descriptor of the given size and raster data of exactly these codes.
  GifWriter& rawImage(int width, int height, int codeSize, const std::vector<int>& codes);
  GifWriter& raw(const std::vector<std::uint8_t>& bytes);
  GifWriter& trailer();

  const std::vector<std::uint8_t>& bytes() const { return out_; }

 private:
  void word(int v);
  void colorTable(const std::vector<pictures::TRGB>& colors);
  void subBlocks(const std::vector<std::uint8_t>& data, std::size_t blockSize);
  std::vector<std::uint8_t> out_;
};

// The bits of a code list as the decoder reads them, widths following its table.
std::vector<std::uint8_t> PackCodes(int codeSize, const std::vector<int>& codes);

// A picture of `count` colours (grey steps) and pixels that use them all.
std::vector<pictures::TRGB> Greys(int count);
std::vector<std::uint8_t> Pattern(int width, int height, int colors, unsigned seed = 1);

struct Ppm {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // grey files expanded to R = G = B
};
// Reads a binary PPM (P6) or PGM (P5) with maxval 255, comments allowed; throws
// std::runtime_error when the file is missing or malformed.
Ppm ReadPpm(const std::string& path);
Ppm ParsePpm(const std::string& text);

}  // namespace picturetest

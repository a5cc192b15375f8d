// The bitmap reader on files written here: colour masks, run-length escapes and
// clipping, every refusal with its text, and truncation at every byte.
#include <gtest/gtest.h>

#include "pictures/bmpimage.h"

using namespace pictures;

namespace {

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v);
  b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

struct BmpSpec {
  int width = 1, height = 1;
  unsigned bits = 24;
  std::uint32_t compression = 0;
  std::vector<TRGB> palette;
  std::vector<std::uint32_t> masks;  // after the 40-byte header
  std::vector<std::uint8_t> data;
};

std::vector<std::uint8_t> Bmp(const BmpSpec& s) {
  std::vector<std::uint8_t> b(54, 0);
  b[0] = 'B', b[1] = 'M';
  Put32(b, 14, 40);
  Put32(b, 18, static_cast<std::uint32_t>(s.width));
  Put32(b, 22, static_cast<std::uint32_t>(s.height));
  Put16(b, 26, 1);
  Put16(b, 28, s.bits);
  Put32(b, 30, s.compression);
  Put32(b, 46, static_cast<std::uint32_t>(s.palette.size()));
  for (std::uint32_t m : s.masks) {
    b.resize(b.size() + 4);
    Put32(b, b.size() - 4, m);
  }
  for (const TRGB& c : s.palette) b.insert(b.end(), {c.B, c.G, c.R, 0});
  Put32(b, 10, static_cast<std::uint32_t>(b.size()));
  b.insert(b.end(), s.data.begin(), s.data.end());
  Put32(b, 2, static_cast<std::uint32_t>(b.size()));
  return b;
}

std::string LoadError(const std::vector<std::uint8_t>& bytes) {
  TBMPImage bmp;
  try {
    bmp.LoadFromBytes(bytes);
  } catch (const EPictureError& e) { return e.what(); }
  return "";
}

std::vector<std::uint8_t> Rgb(const std::vector<std::uint8_t>& bytes) {
  TBMPImage bmp;
  bmp.LoadFromBytes(bytes);
  return bmp.FramePixels(0).ToRgb24();
}

const std::vector<TRGB> kFour = {{10, 0, 0}, {20, 0, 0}, {30, 0, 0}, {40, 0, 0}};

}  // namespace

TEST(BmpReader, SixteenAndThirtyTwoBitPixelsThroughTheirMasks) {
  // 5-5-5 by default: pure red, then white; bottom-up, so the second row comes first.
  BmpSpec s16{.width = 1, .height = 2, .bits = 16, .data = {0xFF, 0x7F, 0, 0, 0x00, 0x7C, 0, 0}};
  EXPECT_EQ(Rgb(Bmp(s16)), (std::vector<std::uint8_t>{255, 0, 0, 255, 255, 255}));
  // 5-6-5 through bit fields.
  BmpSpec s565{.width = 2,
               .height = 1,
               .bits = 16,
               .compression = 3,
               .masks = {0xF800, 0x07E0, 0x001F},
               .data = {0xE0, 0x07, 0x1F, 0x00}};
  EXPECT_EQ(Rgb(Bmp(s565)), (std::vector<std::uint8_t>{0, 255, 0, 0, 0, 255}));
  // 32 bits with the colours in the top three bytes.
  BmpSpec s32{.width = 1,
              .height = 1,
              .bits = 32,
              .compression = 3,
              .masks = {0xFF000000, 0x00FF0000, 0x0000FF00},
              .data = {0x00, 0x03, 0x02, 0x01}};
  EXPECT_EQ(Rgb(Bmp(s32)), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST(BmpReader, TheOldCoreHeaderWithThreeBytePaletteEntries) {
  // 12-byte header with 16-bit sizes; a 2 x 2 picture of 1 bit per pixel.
  std::vector<std::uint8_t> b(14 + 12 + 6 + 8, 0);
  b[0] = 'B', b[1] = 'M';
  Put32(b, 10, 14 + 12 + 6);
  Put32(b, 14, 12);
  Put16(b, 18, 2);
  Put16(b, 20, 2);
  Put16(b, 22, 1);
  Put16(b, 24, 1);
  const std::uint8_t palette[6] = {3, 2, 1, 30, 20, 10};  // blue, green, red each
  std::copy(palette, palette + 6, b.begin() + 26);
  b[32] = 0x40;  // bottom row: 0, 1
  b[36] = 0x80;  // top row: 1, 0
  EXPECT_EQ(Rgb(b), (std::vector<std::uint8_t>{10, 20, 30, 1, 2, 3, 1, 2, 3, 10, 20, 30}));
}

TEST(BmpReader, RunLengthEscapesDeltasAndClipping) {
  // 4-bit, 5 x 3: a run of 7 clipped to the row, end of line, a delta of (1, 1),
  // a literal run of 3 with padding, end of bitmap. Unwritten pixels stay index 0.
  BmpSpec s{.width = 5,
            .height = 3,
            .bits = 4,
            .compression = 2,
            .palette = kFour,
            .data = {7, 0x12, 0, 0, 0, 2, 1, 1, 0, 3, 0x32, 0x10, 0, 1}};
  TBMPImage bmp;
  bmp.LoadFromBytes(Bmp(s));
  EXPECT_EQ(bmp.FramePixels(0).Pixels, (std::vector<std::uint8_t>{0, 3, 2, 1, 0,  //
                                                                  0, 0, 0, 0, 0,  //
                                                                  1, 2, 1, 2, 1}));
  // 8-bit: a run, then data that end without an end-of-bitmap mark.
  BmpSpec s8{.width = 3, .height = 1, .bits = 8, .compression = 1, .palette = kFour, .data = {2, 3, 0, 0}};
  EXPECT_EQ(Rgb(Bmp(s8)), (std::vector<std::uint8_t>{40, 0, 0, 40, 0, 0, 10, 0, 0}));
}

TEST(BmpReader, RefusesWhatItCannotRead) {
  const std::vector<std::uint8_t> good = Bmp({.width = 2, .height = 2, .data = std::vector<std::uint8_t>(16, 9)});
  ASSERT_EQ(LoadError(good), "");
  struct Case {
    const char* text;
    std::vector<std::uint8_t> bytes;
  };
  auto patched = [&](std::size_t at, std::uint32_t v, bool wide = true) {
    std::vector<std::uint8_t> b = good;
    wide ? Put32(b, at, v) : Put16(b, at, v);
    return b;
  };
  std::vector<std::uint8_t> huge = patched(18, 100000);
  Put32(huge, 22, 100000);
  const Case cases[] = {
      {"Not a bitmap file", {'P', 'K', 3, 4}},
      {"Bitmap data is truncated", std::vector<std::uint8_t>(good.begin(), good.end() - 4)},
      {"Unsupported bitmap header size (20)", patched(14, 20)},
      {"Unsupported bitmap format (2 bits per pixel)", patched(28, 2, false)},
      {"Unsupported bitmap compression (4)", patched(30, 4)},
      {"Unsupported bitmap compression (1) for 24 bits per pixel", patched(30, 1)},
      {"Invalid Bitmap picture size (0x2)", patched(18, 0)},
      {"Invalid Bitmap picture size (0x2)", patched(18, 0xFFFFFFFE)},
      {"Bitmap picture too large (100000x100000)", huge},
      {"Run-length encoded bitmaps cannot be stored top-down",
       Bmp({.width = 2, .height = -2, .bits = 8, .compression = 1, .palette = kFour, .data = {0, 1}})},
      {"Bitmap data is truncated",
       Bmp({.width = 4, .height = 4, .bits = 8, .compression = 1, .palette = kFour, .data = {0, 9, 1}})},
  };
  for (const Case& c : cases) EXPECT_EQ(LoadError(c.bytes), c.text);
}

TEST(BmpReader, EveryTruncationIsRefusedCleanly) {
  const std::vector<std::vector<std::uint8_t>> files = {
      Bmp({.width = 3, .height = 2, .data = std::vector<std::uint8_t>(24, 7)}),
      Bmp({.width = 9,
           .height = 3,
           .bits = 4,
           .compression = 2,
           .palette = kFour,
           .data = {3, 0x12, 0, 4, 0x12, 0x30, 0, 2, 1, 1, 5, 0x33, 0, 0, 2, 1, 0, 1}}),
      Bmp({.width = 9,
           .height = 2,
           .bits = 1,
           .palette = {{0, 0, 0}, {255, 255, 255}},
           .data = {0xAA, 0x80, 0, 0, 1, 2, 0, 0}}),
  };
  for (const auto& file : files) {
    ASSERT_EQ(LoadError(file), "");
    for (std::size_t n = 0; n < file.size(); ++n) {
      const std::string error =
          LoadError(std::vector<std::uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
      // Run-length data may simply stop; everything else is an error.
      EXPECT_TRUE(error.empty() || error == "Bitmap data is truncated" || error == "Not a bitmap file") << n << error;
    }
  }
}

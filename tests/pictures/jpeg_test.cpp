// JPEG pictures through libjpeg: the five settings change the decoded picture as
// they say, changed settings decode again, bad and lying files are refused and a
// cut file is shown with a warning.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <jpeglib.h>

#include "pictures/jpegimage.h"

using namespace pictures;

namespace {

constexpr int kWidth = 64, kHeight = 48;

std::vector<std::uint8_t> Gradient() {
  std::vector<std::uint8_t> rgb;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      rgb.insert(rgb.end(), {static_cast<std::uint8_t>(x * 4), static_cast<std::uint8_t>(y * 5),
                             static_cast<std::uint8_t>(128 + (x - y))});
  return rgb;
}

std::vector<std::uint8_t> Encode(const std::vector<std::uint8_t>& rgb, bool progressive) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = kWidth;
  c.image_height = kHeight;
  c.input_components = 3;
  c.in_color_space = JCS_RGB;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 92, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&rgb[c.next_scanline * kWidth * 3]);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  std::vector<std::uint8_t> file(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&c);
  return file;
}

double MeanDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  EXPECT_EQ(a.size(), b.size());
  double sum = 0;
  for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i) sum += std::abs(int{a[i]} - int{b[i]});
  return a.empty() ? 0 : sum / static_cast<double>(a.size());
}

std::string DecodeError(std::vector<std::uint8_t> bytes) {
  TJPEGImage jpeg;
  try {
    jpeg.LoadFromBytes(std::move(bytes));
    jpeg.Decode();
  } catch (const EPictureError& e) { return e.what(); }
  return "";
}

}  // namespace

TEST(JpegImage, TheSettingsShapeTheDecodedPicture) {
  const std::vector<std::uint8_t> source = Gradient();
  for (bool progressive : {false, true}) {
    SCOPED_TRACE(progressive ? "progressive" : "baseline");
    TJPEGImage jpeg;
    jpeg.LoadFromBytes(Encode(source, progressive));
    const TPixelBuffer full = jpeg.FramePixels(0);
    EXPECT_EQ(full.PixelFormat, TPixelFormat::pfRgb24);
    EXPECT_LT(MeanDifference(full.Pixels, source), 3.0);

    const std::pair<TJPEGScale, int> scales[] = {{jsHalf, 2}, {jsQuarter, 4}, {jsEighth, 8}};
    for (const auto& [scale, divisor] : scales) {
      jpeg.Settings.Scale = scale;
      EXPECT_EQ(jpeg.Width(), kWidth / divisor);
      EXPECT_EQ(jpeg.Height(), kHeight / divisor);
    }
    jpeg.Settings.Scale = jsFullSize;

    jpeg.Settings.Grayscale = true;
    const TPixelBuffer grey = jpeg.FramePixels(0);
    ASSERT_EQ(grey.PixelFormat, TPixelFormat::pfIndexed8);
    const std::vector<std::uint8_t> greyRgb = grey.ToRgb24();
    for (std::size_t i = 0; i < greyRgb.size(); i += 3) {
      ASSERT_EQ(greyRgb[i], greyRgb[i + 1]);
      ASSERT_EQ(greyRgb[i], greyRgb[i + 2]);
    }
    jpeg.Settings.Grayscale = false;

    jpeg.Settings.PixelFormat = jf8Bit;
    const TPixelBuffer indexed = jpeg.FramePixels(0);
    ASSERT_EQ(indexed.PixelFormat, TPixelFormat::pfIndexed8);
    EXPECT_LE(indexed.Palette.size(), 256u);
    EXPECT_LT(MeanDifference(indexed.ToRgb24(), full.Pixels), 8.0);
    jpeg.Settings.PixelFormat = jf24Bit;

    jpeg.Settings.Performance = jpBestSpeed;
    EXPECT_LT(MeanDifference(jpeg.FramePixels(0).Pixels, full.Pixels), 2.0);
    jpeg.Settings.Smoothing = true;
    EXPECT_EQ(jpeg.Width(), kWidth);
  }
}

TEST(JpegImage, AdobeCmykPicturesComeOutInRgb) {
  // Adobe's CMYK files store the inks inverted: red is (255, 0, 0, 255) there.
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buffer, &size);
  c.image_width = 16;
  c.image_height = 8;
  c.input_components = 4;
  c.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 95, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<JSAMPLE> row;
  for (int x = 0; x < 16; ++x) row.insert(row.end(), {255, 0, 0, 255});
  while (c.next_scanline < c.image_height) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&c, &r, 1);
  }
  jpeg_finish_compress(&c);
  TJPEGImage jpeg;
  jpeg.LoadFromBytes(std::vector<std::uint8_t>(buffer, buffer + size));
  std::free(buffer);
  jpeg_destroy_compress(&c);
  const std::vector<std::uint8_t> rgb = jpeg.FramePixels(0).ToRgb24();
  ASSERT_EQ(rgb.size(), 16u * 8 * 3);
  EXPECT_GT(rgb[0], 245);
  EXPECT_LT(rgb[1], 10);
  EXPECT_LT(rgb[2], 10);
  jpeg.Settings.Grayscale = true;
  const TPixelBuffer& grey = jpeg.FramePixels(0);
  EXPECT_EQ(grey.PixelFormat, TPixelFormat::pfIndexed8);
  EXPECT_NEAR(grey.Pixels[0], 76, 4);  // the luminance of red
}

TEST(JpegImage, RefusesOtherFilesAndSizesTheFileCannotHold) {
  EXPECT_EQ(DecodeError({'G', 'I', 'F', '8', '9', 'a'}), "Not a JPEG file: starts with 0x47 0x49");
  EXPECT_EQ(DecodeError({}), "Empty input file");
  TJPEGImage empty;
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.FrameCount(), 0);

  // The frame header of a small file claims 60000 x 60000 pixels.
  std::vector<std::uint8_t> file = Encode(Gradient(), false);
  for (std::size_t i = 0; i + 8 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xC0) {
      file[i + 5] = file[i + 7] = 60000 >> 8;
      file[i + 6] = file[i + 8] = 60000 & 0xFF;
      break;
    }
  }
  EXPECT_EQ(DecodeError(file), "JPEG picture too large (60000x60000)");
}

TEST(JpegImage, ACutFileDecodesWithAWarningOrFailsCleanly) {
  const std::vector<std::uint8_t> file = Encode(Gradient(), true);
  int shownWithWarning = 0;
  for (std::size_t n = 0; n < file.size(); n += 7) {
    TJPEGImage jpeg;
    try {
      jpeg.LoadFromBytes(std::vector<std::uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n)));
      jpeg.Decode();
      EXPECT_FALSE(jpeg.Warnings().empty()) << n;
      EXPECT_EQ(jpeg.Width(), kWidth);
      ++shownWithWarning;
    } catch (const EPictureError& e) { EXPECT_FALSE(std::string(e.what()).empty()); }
  }
  EXPECT_GT(shownWithWarning, 0);
}

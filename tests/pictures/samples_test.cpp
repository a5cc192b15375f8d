// The sample pictures decode as their README documents: every GIF frame, JPEG and
// bitmap to exactly its expected pixels, broken GIFs to an error, interlaced
// twins to the same pixels, libjpeg's warnings kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "pictures/bmpimage.h"
#include "pictures/gifimage.h"
#include "pictures/jpegimage.h"
#include "pictures/picture_helpers.h"

using namespace pictures;
using picturetest::Ppm;

namespace {

// The repository's sample pictures (tests/data/gif, jpeg, bmp).
std::string SampleFolder(const char* kind) { return std::string(KV_SAMPLE_DATA) + "/" + kind; }

std::vector<std::string> FilesEndingIn(const std::string& folder, const std::string& suffix) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder)) {
    const std::string name = e.path().filename().string();
    if (name.size() > suffix.size() && name.ends_with(suffix))
      names.push_back(name.substr(0, name.size() - suffix.size()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The pixels of a frame as R, G, B bytes, compared with an expected file.
void ExpectPixels(const TPixelBuffer& pixels, const Ppm& expected) {
  ASSERT_EQ(pixels.Width, expected.width);
  ASSERT_EQ(pixels.Height, expected.height);
  const std::vector<std::uint8_t> rgb = pixels.ToRgb24();
  ASSERT_EQ(rgb.size(), expected.rgb.size());
  const auto diff = std::mismatch(rgb.begin(), rgb.end(), expected.rgb.begin());
  EXPECT_TRUE(diff.first == rgb.end()) << "first differing byte at " << (diff.first - rgb.begin());
}

#define REQUIRE_FOLDER(folder) \
  ASSERT_TRUE(std::filesystem::is_directory(folder)) << "missing sample folder " << (folder)

}  // namespace

TEST(GifSamples, EveryFrameDecodesToItsExpectedPixelsOrTheFileIsRefused) {
  const std::string folder = SampleFolder("gif");
  REQUIRE_FOLDER(folder);
  int checked = 0;
  for (const std::string& name : FilesEndingIn(folder, ".gif")) {
    SCOPED_TRACE(name);
    int expected = 0;
    while (std::filesystem::exists(folder + "/" + name + ".frame" + std::to_string(expected) + ".ppm")) ++expected;
    TGIFImage gif;
    gif.LoadFromFile(folder + "/" + name + ".gif");
    if (expected == 0) {
      EXPECT_THROW(gif.Decode(), EGIFError);
      continue;
    }
    ASSERT_NO_THROW(gif.Decode());
    ASSERT_EQ(gif.FrameCount(), expected);
    for (int n = 0; n < expected; ++n)
      ExpectPixels(gif.FramePixels(n),
                   picturetest::ReadPpm(folder + "/" + name + ".frame" + std::to_string(n) + ".ppm"));
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(GifSamples, BrokenFilesGiveTheirTexts) {
  const std::string folder = SampleFolder("gif");
  REQUIRE_FOLDER(folder);
  const std::map<std::string, std::string> texts = {
      {"craft_lzw_mincode10_invalid.gif", "Invalid LZW Code Size: 10"},
      {"craft_bad_separator.gif", "Invalid GIF format seperator: $0"},
      {"gen_truncated_mid_data.gif", "Unexpected end of GIF file"},
  };
  for (const auto& [file, text] : texts) {
    if (!std::filesystem::exists(folder + "/" + file)) continue;
    TGIFImage gif;
    gif.LoadFromFile(folder + "/" + file);
    try {
      gif.Decode();
      ADD_FAILURE() << file << " decoded";
    } catch (const EGIFError& e) { EXPECT_EQ(e.what(), text) << file; }
  }
}

TEST(GifSamples, InterlacedTwinsDecodeToTheSamePixels) {
  const std::string folder = SampleFolder("gif");
  REQUIRE_FOLDER(folder);
  const std::pair<const char*, const char*> twins[] = {{"giflib_treescap", "giflib_treescap-interlaced"},
                                                       {"gen_twin_noninterlaced", "gen_twin_interlaced"}};
  for (const auto& [plain, interlaced] : twins) {
    TGIFImage a, b;
    a.LoadFromFile(folder + "/" + plain + ".gif");
    b.LoadFromFile(folder + "/" + interlaced + ".gif");
    EXPECT_FALSE(a.Frame(0).ImageDescriptor.Interlaced());
    EXPECT_TRUE(b.Frame(0).ImageDescriptor.Interlaced());
    EXPECT_EQ(a.FramePixels(0).ToRgb24(), b.FramePixels(0).ToRgb24()) << plain;
  }
}

TEST(JpegSamples, DecodeToTheExpectedPixelsWithLibjpegsWarnings) {
  const std::string folder = SampleFolder("jpeg");
  REQUIRE_FOLDER(folder);
  // "NAME.jpg: djpeg says: MESSAGE" lines name the warnings the library gives.
  std::map<std::string, std::string> warnings;
  std::ifstream messages(folder + "/EXPECTED_jpeg_messages.txt");
  for (std::string line; std::getline(messages, line);) {
    const std::size_t at = line.find(": djpeg says: ");
    if (line.starts_with("#") || at == std::string::npos) continue;
    warnings[line.substr(0, at)] = line.substr(at + 14);
  }
  int checked = 0;
  for (const std::string& name : FilesEndingIn(folder, ".jpg")) {
    SCOPED_TRACE(name);
    std::string expected = folder + "/" + name + ".ppm";
    if (!std::filesystem::exists(expected)) expected = folder + "/" + name + ".pgm";
    if (!std::filesystem::exists(expected)) continue;
    TJPEGImage jpeg;
    jpeg.LoadFromFile(folder + "/" + name + ".jpg");
    ExpectPixels(jpeg.FramePixels(0), picturetest::ReadPpm(expected));
    const auto w = warnings.find(name + ".jpg");
    if (w == warnings.end()) {
      EXPECT_TRUE(jpeg.Warnings().empty()) << jpeg.Warnings().front();
    } else {
      const auto& got = jpeg.Warnings();
      EXPECT_NE(std::find(got.begin(), got.end(), w->second), got.end()) << w->second;
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

TEST(BmpSamples, DecodeToTheExpectedPixels) {
  const std::string folder = SampleFolder("bmp");
  REQUIRE_FOLDER(folder);
  int checked = 0;
  for (const std::string& name : FilesEndingIn(folder, ".bmp")) {
    SCOPED_TRACE(name);
    if (!std::filesystem::exists(folder + "/" + name + ".ppm")) continue;
    TBMPImage bmp;
    bmp.LoadFromFile(folder + "/" + name + ".bmp");
    ExpectPixels(bmp.FramePixels(0), picturetest::ReadPpm(folder + "/" + name + ".ppm"));
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

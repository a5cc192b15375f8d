// The GIF stream reader and LZW decoder on streams written here: every code size,
// interlacing at every small height, full tables with and without clear codes,
// the malformed code sequences, extensions, and truncation at every byte.
#include <gtest/gtest.h>

#include "pictures/gifimage.h"
#include "pictures/picture_helpers.h"

using namespace pictures;
using picturetest::GifWriter;
using picturetest::Greys;
using picturetest::ImageOptions;
using picturetest::Pattern;

namespace {

std::string DecodeError(const std::vector<std::uint8_t>& bytes) {
  TGIFImage gif;
  gif.LoadFromBytes(bytes);
  try {
    gif.Decode();
  } catch (const EGIFError& e) { return e.what(); }
  return "";
}

std::vector<std::uint8_t> Frame0(const std::vector<std::uint8_t>& bytes) {
  TGIFImage gif;
  gif.LoadFromBytes(bytes);
  return gif.FramePixels(0).Pixels;
}

}  // namespace

TEST(GifDecoder, InterlacedAndPlainImagesDecodeToTheirPixelsAtEveryHeight) {
  for (int height = 1; height <= 17; ++height) {
    SCOPED_TRACE(height);
    const std::vector<std::uint8_t> pixels = Pattern(5, height, 16, static_cast<unsigned>(height));
    ImageOptions interlaced;
    interlaced.interlaced = true;
    EXPECT_EQ(Frame0(GifWriter(5, height, Greys(16)).image(0, 0, 5, height, pixels).trailer().bytes()), pixels);
    EXPECT_EQ(Frame0(GifWriter(5, height, Greys(16)).image(0, 0, 5, height, pixels, interlaced).trailer().bytes()),
              pixels);
  }
}

TEST(GifDecoder, EveryCodeSizeFromTwoToNineWithFullTablesClearedOrNot) {
  // 80 x 70 single-pixel codes fill the 4096-entry table at every code size.
  for (int size = 2; size <= 9; ++size) {
    for (bool clearWhenFull : {true, false}) {
      SCOPED_TRACE(testing::Message() << "code size " << size << (clearWhenFull ? "" : ", deferred clear"));
      const int colors = std::min(256, 1 << size);
      const std::vector<std::uint8_t> pixels = Pattern(80, 70, colors, static_cast<unsigned>(size));
      ImageOptions o;
      o.codeSize = size;
      o.clearWhenFull = clearWhenFull;
      o.subBlockSize = 7;  // codes straddle many sub-block ends
      EXPECT_EQ(Frame0(GifWriter(80, 70, Greys(colors)).image(0, 0, 80, 70, pixels, o).trailer().bytes()), pixels);
    }
  }
}

TEST(GifDecoder, RefusesCodeSizesOutsideTwoToNine) {
  for (int size : {0, 1, 10, 11, 12, 255}) {
    const auto bytes = GifWriter(4, 4, Greys(4)).rawImage(4, 4, size, {}).trailer().bytes();
    EXPECT_EQ(DecodeError(bytes), "Invalid LZW Code Size: " + std::to_string(size));
  }
}

struct CodeCase {
  const char* name;
  int codeSize;
  int width, height;
  std::vector<int> codes;
  std::vector<std::uint8_t> pixels;  // when the stream is accepted
  const char* error;                 // otherwise
};

void PrintTo(const CodeCase& c, std::ostream* os) { *os << c.name; }

class GifCodeSequence : public testing::TestWithParam<CodeCase> {};

TEST_P(GifCodeSequence, DecodesOrFailsAsExpected) {
  const CodeCase& c = GetParam();
  const auto bytes =
      GifWriter(c.width, c.height, Greys(4)).rawImage(c.width, c.height, c.codeSize, c.codes).trailer().bytes();
  EXPECT_EQ(DecodeError(bytes), c.error);
  if (*c.error == '\0') { EXPECT_EQ(Frame0(bytes), c.pixels); }
}

// Code size 2: clear 4, end 5, first free entry 6.
INSTANTIATE_TEST_SUITE_P(
    Codes, GifCodeSequence,
    testing::Values(CodeCase{"NoLeadingClear", 2, 2, 2, {0, 1, 2, 3, 5}, {0, 1, 2, 3}, ""},
                    CodeCase{"RunOfClears", 2, 2, 2, {4, 4, 4, 1, 1, 1, 1, 5}, {1, 1, 1, 1}, ""},
                    CodeCase{"CodeBeyondTableAfterClearIsZero", 2, 2, 1, {4, 7, 3, 5}, {0, 3}, ""},
                    CodeCase{"CodeOfTheEntryBeingMade", 2, 3, 1, {4, 1, 6, 5}, {1, 1, 1}, ""},
                    CodeCase{"TableEntries", 2, 6, 1, {4, 1, 2, 6, 7, 5}, {1, 2, 1, 2, 2, 1}, ""},
                    CodeCase{"CodesAfterTheLastPixelIgnored", 2, 1, 1, {4, 2, 3, 3}, {2}, ""},
                    CodeCase{"EndRightAfterClear", 2, 1, 1, {4, 5}, {}, "Invalid stream format"},
                    CodeCase{"CodeAboveTheNextFree", 2, 2, 2, {4, 1, 7}, {}, "Invalid stream format"},
                    CodeCase{"EndBeforeTheLastPixel", 2, 2, 2, {4, 1, 2, 5}, {}, "Truncated GIF image data"},
                    CodeCase{"DataEndBeforeTheLastPixel", 2, 4, 4, {4, 1, 2}, {}, "Truncated GIF image data"},
                    CodeCase{
                        "PixelNoColourTableHolds", 9, 2, 1, {512, 300, 1, 513}, {}, "Index 300 out of range [0..3]"}),
    [](const testing::TestParamInfo<CodeCase>& info) { return info.param.name; });

TEST(GifDecoder, KeepsKnownExtensionsAndSkipsUnknownOnes) {
  const std::string plainHeader = {0, 0, 0, 0, 40, 0, 8, 0, 8, 8, 1, 0};
  const auto bytes = GifWriter(4, 2, Greys(4))
                         .extension(0xFE, {"first ", "comment"})
                         .extension(0xFF, {"NETSCAPE2.0", std::string("\x01\x00\x00", 3)})
                         .extension(0x99, {"what is this", "?"})
                         .extension(0x01, {plainHeader, "Hi"})
                         .graphicControl(7, 2, 3)
                         .image(0, 0, 4, 2, {0, 1, 2, 3, 3, 2, 1, 0})
                         .extension(0xFE, {"after the image"})
                         .trailer()
                         .bytes();
  TGIFImage gif;
  gif.LoadFromBytes(bytes);
  ASSERT_EQ(gif.FrameCount(), 1);
  const TGIFFrame& f = gif.Frame(0);
  ASSERT_EQ(f.Extensions.size(), 4u);
  EXPECT_EQ(std::get<TCommentExtension>(f.Extensions[0]).Strings, (std::vector<std::string>{"first ", "comment"}));
  EXPECT_EQ(std::get<TApplicationExtension>(f.Extensions[1]).Strings.at(0), "NETSCAPE2.0");
  const auto& text = std::get<TPlainTextExtension>(f.Extensions[2]);
  TPlainTextExtension::TGrid grid;
  ASSERT_TRUE(text.Grid(grid));
  EXPECT_EQ(grid.Width, 40);
  EXPECT_EQ(grid.CellHeight, 8);
  EXPECT_EQ(text.Text(), "Hi");
  const TGraphicControlExtension* gce = f.GraphicControl();
  ASSERT_NE(gce, nullptr);
  EXPECT_EQ(gce->DelayTime, 7);
  EXPECT_EQ(gce->DisposalMethod(), 2);
  EXPECT_TRUE(gce->Transparent());
  EXPECT_EQ(gce->TransparentColorIndex, 3);
  EXPECT_EQ(gif.DisplayTime(0), 7);
  EXPECT_EQ(gif.FramePixels(0).Pixels, (std::vector<std::uint8_t>{0, 1, 2, 3, 3, 2, 1, 0}));
}

TEST(GifDecoder, FramesUseTheirLocalColourTableOrTheGlobalOne) {
  const std::vector<TRGB> local = {{1, 2, 3}, {4, 5, 6}};
  ImageOptions withLocal;
  withLocal.localColors = local;
  TGIFImage gif;
  gif.LoadFromBytes(GifWriter(4, 4, {}).image(1, 2, 2, 1, {0, 1}, withLocal).image(0, 0, 1, 1, {1}).trailer().bytes());
  ASSERT_EQ(gif.FrameCount(), 2);
  EXPECT_EQ(gif.FramePixels(0).ToRgb24(), (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
  // Neither table: the pixel has no colour and shows black.
  EXPECT_EQ(gif.FramePixels(1).ToRgb24(), (std::vector<std::uint8_t>{0, 0, 0}));
  EXPECT_EQ(gif.Frame(0).ImageDescriptor.Left, 1);
  EXPECT_EQ(gif.Frame(0).ImageDescriptor.Top, 2);
}

TEST(GifDecoder, StreamLevelErrors) {
  const auto good = GifWriter(2, 1, Greys(4)).image(0, 0, 2, 1, {1, 2}).bytes();
  EXPECT_EQ(DecodeError(good), "");  // no trailer after a complete image is fine
  EXPECT_EQ(DecodeError(GifWriter(2, 1, Greys(4)).bytes()), "Unexpected end of GIF file");
  EXPECT_EQ(DecodeError(GifWriter(2, 1, Greys(4)).trailer().bytes()), "");  // no images at all, but complete
  EXPECT_EQ(DecodeError(GifWriter(2, 1, Greys(4)).raw({0x2D}).bytes()), "Invalid GIF format seperator: $2D");
  EXPECT_EQ(DecodeError({'P', 'N', 'G', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B}), "Not a GIF file");
}

TEST(GifDecoder, ASizeItsDataCannotFillIsRefusedUnallocated) {
  const auto bytes = GifWriter(65535, 65535, Greys(4)).rawImage(65535, 65535, 2, {4, 1, 1, 1, 1, 5}).trailer().bytes();
  EXPECT_EQ(DecodeError(bytes), "Truncated GIF image data");
}

TEST(GifDecoder, EveryTruncationEndsInAnErrorOrInCompleteFrames) {
  const auto full = GifWriter(12, 9, Greys(16))
                        .extension(0xFF, {"NETSCAPE2.0", std::string("\x01\x00\x00", 3)})
                        .graphicControl(5)
                        .image(0, 0, 12, 9, Pattern(12, 9, 16, 1))
                        .extension(0xFE, {"between"})
                        .image(2, 2, 5, 4, Pattern(5, 4, 16, 2), {.interlaced = true, .subBlockSize = 3})
                        .image(0, 0, 3, 3, Pattern(3, 3, 16, 3), {.localColors = Greys(2)})
                        .trailer()
                        .bytes();
  TGIFImage whole;
  whole.LoadFromBytes(full);
  ASSERT_EQ(whole.FrameCount(), 3);
  for (std::size_t n = 0; n < full.size(); ++n) {
    SCOPED_TRACE(n);
    TGIFImage gif;
    gif.LoadFromBytes(std::vector<std::uint8_t>(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)));
    try {
      gif.Decode();
      // Accepted only when cut between blocks: the frames so far are whole.
      ASSERT_GT(gif.FrameCount(), 0);
      for (int f = 0; f < gif.FrameCount(); ++f) EXPECT_EQ(gif.FramePixels(f).Pixels, whole.FramePixels(f).Pixels);
    } catch (const EGIFError& e) {
      const std::string text = e.what();
      EXPECT_TRUE(text == "Unexpected end of GIF file" || text == "Not a GIF file") << text;
      // The failure sticks, and nothing half-read shows.
      EXPECT_THROW(gif.FrameCount(), EGIFError);
    }
  }
}

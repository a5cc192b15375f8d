// kv-imgdump: a frame's own rectangle as a PPM on standard output, --info, and
// errors as text on standard error with exit status 1.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "pictures/picture_helpers.h"
#include "support/temp_dir.h"

using picturetest::GifWriter;
using picturetest::Greys;

namespace {

struct DumpResult {
  int status;
  std::string out, err;
};

DumpResult ImgDump(const testsupport::TempDir& dir, const std::string& args) {
  // The program lies beside this test (KV_BIN names the folder under ctest).
  const char* bin = std::getenv("KV_BIN");
  const std::string folder = bin ? bin : std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
  DumpResult r{};
  r.status = testsupport::shell(folder + "/kv-imgdump " + args + " 2>" + dir / "stderr", &r.out);
  r.err = testsupport::readFile(dir / "stderr");
  return r;
}

std::string WriteFile(const testsupport::TempDir& dir, const std::string& name,
                      const std::vector<std::uint8_t>& bytes) {
  return dir.write(name, std::string(bytes.begin(), bytes.end()));
}

}  // namespace

TEST(ImgDump, WritesTheFramesOwnRectangleAndItsInfo) {
  testsupport::TempDir dir;
  const auto colors = Greys(4);
  const std::string file = WriteFile(dir, "two.gif",
                                     GifWriter(10, 8, colors)
                                         .graphicControl(25)
                                         .image(0, 0, 10, 8, std::vector<std::uint8_t>(80, 1))
                                         .image(3, 2, 2, 1, {3, 0})
                                         .trailer()
                                         .bytes());
  const DumpResult frame1 = ImgDump(dir, file + " --frame 1");
  ASSERT_EQ(frame1.status, 0) << frame1.err;
  const picturetest::Ppm ppm = picturetest::ParsePpm(frame1.out);
  EXPECT_EQ(ppm.width, 2);
  EXPECT_EQ(ppm.height, 1);
  EXPECT_EQ(ppm.rgb,
            (std::vector<std::uint8_t>{colors[3].R, colors[3].G, colors[3].B, colors[0].R, colors[0].G, colors[0].B}));
  const DumpResult info = ImgDump(dir, file + " --info");
  EXPECT_EQ(info.status, 0);
  EXPECT_EQ(info.out,
            "width 10\nheight 8\nframes 2\n"
            "frame 0: 10x8 at 0,0 delay 25\n"
            "frame 1: 2x1 at 3,2 delay 0\n");
}

TEST(ImgDump, ErrorsGoToStandardErrorWithStatusOne) {
  testsupport::TempDir dir;
  const std::string gif =
      WriteFile(dir, "one.gif", GifWriter(2, 1, Greys(4)).image(0, 0, 2, 1, {1, 2}).trailer().bytes());
  const std::string bad = WriteFile(dir, "bad.gif", GifWriter(2, 1, Greys(4)).rawImage(2, 1, 10, {}).trailer().bytes());
  const std::string png = dir.write("picture.png", "\x89PNG");
  const std::pair<std::string, std::string> cases[] = {
      {gif + " --frame 1", "Invalid frame number 1 (0..0)\n"},
      {bad, "Invalid LZW Code Size: 10\n"},
      {png, "Unknown picture file extension (.png)\n"},
      {dir / "missing.bmp", "Cannot open file \"" + dir / "missing.bmp" + "\". No such file or directory\n"},
  };
  for (const auto& [args, text] : cases) {
    const DumpResult r = ImgDump(dir, args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_EQ(r.err, text);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(ImgDump(dir, gif + " --frame x").status, 2);
  EXPECT_EQ(ImgDump(dir, "").status, 2);
}

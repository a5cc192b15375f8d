// The settings block written by the engine and read by the program, and the
// program's readings of its command line, default folder and command text.
#include <gtest/gtest.h>

#include "sfx/sfxsetup.h"
#include "zipcore/records.h"
#include "zipcore/sfxblock.h"

using namespace zipcore;

namespace {

TEST(SfxBlock, RoundTripAndLayout) {
  SfxSettings s;
  s.options = kSfxAskFiles | kSfxOverwriteNever;
  s.caption = "Cap";
  s.defaultDir = "><";
  s.commandLine = "prog|><x";
  std::string block = EncodeSfxBlock(s);
  ASSERT_EQ(block.size(), kSfxBlockSize);
  EXPECT_EQ(block.substr(0, 7), std::string("MPU\x12\x03\x02\x08", 7));
  EXPECT_EQ(block.substr(7, 13), "Cap><prog|><x");
  EXPECT_EQ(block.find_first_not_of('\0', 20), std::string::npos) << "the rest stays zero";
  SfxSettings back;
  ASSERT_EQ(DecodeSfxBlock(block, back), SfxBlockRead::Ok);
  EXPECT_EQ(back.options, s.options);
  EXPECT_EQ(back.caption, "Cap");
  EXPECT_EQ(back.defaultDir, "><");
  EXPECT_EQ(back.commandLine, "prog|><x");
  EXPECT_EQ(back.overwrite(), SfxOverwrite::Never);
}

TEST(SfxBlock, TextLimitIs249Together) {
  SfxSettings s;
  s.caption = std::string(100, 'c');
  s.defaultDir = std::string(100, 'd');
  s.commandLine = std::string(49, 'x');
  std::string block = EncodeSfxBlock(s);
  ASSERT_EQ(block.size(), kSfxBlockSize);
  SfxSettings back;
  ASSERT_EQ(DecodeSfxBlock(block, back), SfxBlockRead::Ok);
  EXPECT_EQ(back.commandLine, s.commandLine);
  s.commandLine += 'x';
  EXPECT_EQ(EncodeSfxBlock(s), "");
}

TEST(SfxBlock, HostileAndMissingBlocks) {
  SfxSettings s;
  std::string block = EncodeSfxBlock(s);
  block[4] = static_cast<char>(249);
  EXPECT_EQ(DecodeSfxBlock(block, s), SfxBlockRead::Ok);
  block[6] = 1;  // one byte past the block
  EXPECT_EQ(DecodeSfxBlock(block, s), SfxBlockRead::Damaged);
  block[4] = block[5] = block[6] = static_cast<char>(255);
  EXPECT_EQ(DecodeSfxBlock(block, s), SfxBlockRead::Damaged);
  EXPECT_EQ(DecodeSfxBlock(block.substr(0, 255), s), SfxBlockRead::Missing);
  block[0] = 'X';
  EXPECT_EQ(DecodeSfxBlock(block, s), SfxBlockRead::Missing);
}

TEST(SfxBlock, EmptyEndRecord) {
  std::string eocd = EmptyEndRecord(123456);
  ASSERT_EQ(eocd.size(), kEndSize);
  EXPECT_EQ(get32(eocd, 0), kEndSig);
  EXPECT_EQ(get32(eocd, 16), 123456u);
  EXPECT_EQ(eocd.substr(4, 12), std::string(12, '\0'));
  EXPECT_EQ(get16(eocd, 20), 0u);
  EXPECT_EQ(EmptyEndRecord(0x100000000ull), "");
}

TEST(SfxSetup, DefaultFolders) {
  const std::string home = "/home/u";
  EXPECT_EQ(sfx::ResolveDefaultDir("><", home), "><");
  EXPECT_EQ(sfx::ResolveDefaultDir("", home), "");
  EXPECT_EQ(sfx::ResolveDefaultDir("C:\\", home), "/home/u");
  EXPECT_EQ(sfx::ResolveDefaultDir("c:", home), "/home/u");
  EXPECT_EQ(sfx::ResolveDefaultDir("D:\\Program Files\\Tool", home), "/home/u/Program Files/Tool");
  EXPECT_EQ(sfx::ResolveDefaultDir("~/apps", home), "/home/u/apps");
  EXPECT_EQ(sfx::ResolveDefaultDir("/opt/x", home), "/opt/x");
  EXPECT_EQ(sfx::ResolveDefaultDir("rel\\dir", home), "rel/dir");
}

TEST(SfxSetup, Commands) {
  using V = std::vector<std::string>;
  EXPECT_EQ(sfx::BuildCommand("notepad|><readme.txt", "/x/"), (V{"notepad", "/x/readme.txt"}));
  EXPECT_EQ(sfx::BuildCommand("><setup.sh", "/x/"), (V{"/x/setup.sh"}));
  EXPECT_EQ(sfx::BuildCommand("sh|-c \"echo >< ><\"", "/a b/"), (V{"sh", "-c", "echo /a b/ /a b/"}));
  EXPECT_EQ(sfx::BuildCommand("\"my tool\" | one  two", "/x/"), (V{"my tool", "one", "two"}));
  EXPECT_EQ(sfx::BuildCommand(" |args", "/x/"), V{});
  EXPECT_EQ(sfx::BuildCommand("", "/x/"), V{});
}

TEST(SfxSetup, Arguments) {
  const char* good[] = {"p", "--dest", "out dir", "--yes", "--list", "--no-run"};
  sfx::SfxArgs a = sfx::ParseArgs(6, good);
  EXPECT_EQ(a.error, "");
  EXPECT_EQ(a.dest, "out dir");
  EXPECT_TRUE(a.yes && a.list && a.noRun && !a.help);
  const char* eq[] = {"p", "--dest=x", "-y"};
  a = sfx::ParseArgs(3, eq);
  EXPECT_EQ(a.dest, "x");
  EXPECT_TRUE(a.yes);
  const char* missing[] = {"p", "--dest"};
  EXPECT_EQ(sfx::ParseArgs(2, missing).error, "--dest needs a folder");
  const char* unknown[] = {"p", "x"};
  EXPECT_EQ(sfx::ParseArgs(2, unknown).error, "unknown argument: x");
}

}  // namespace

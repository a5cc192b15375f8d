// kelvory-cli with spanned sets: "a -s SIZE" writes numbered volumes no larger
// than SIZE that the peers read once renamed to their naming, and l, t and x read
// a set from any of its volumes, ours or zip -s's, refusing one with a volume gone.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>

#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::shell;

namespace {

std::string cli() {
  const char* bin = std::getenv("KV_BIN");
  if (bin && *bin) return std::string(bin) + "/kelvory-cli";
  return fs::read_symlink("/proc/self/exe").parent_path().string() + "/kelvory-cli";
}

std::string noise(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

class CliSpan : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("src/a.bin", noise(300000, 1));
    dir.write("src/sub/b.txt", std::string(80000, 'b'));
    dir.write("src/c.bin", noise(120000, 2));
  }
  int run(const std::string& args) {
    int status = shell("cd '" + dir.path() + "' && '" + cli() + "' " + args + " 2>err.txt", &out);
    err = readFile(dir / "err.txt");
    return status;
  }
  void expectExtracted(const std::string& folder) {
    for (const char* f : {"src/a.bin", "src/sub/b.txt", "src/c.bin"})
      EXPECT_EQ(readFile(dir / (folder + "/" + f)), readFile(dir / f)) << f;
  }

  testsupport::TempDir dir;
  std::string out, err;
};

}  // namespace

TEST_F(CliSpan, AddWritesVolumesThatListTestAndExtractFromAnyVolume) {
  ASSERT_EQ(run("a set.zip -r -s 100k src"), 0) << err;
  EXPECT_EQ(out, "5 files added, 5 entries in " + dir.path() + "/set005.zip\n");
  for (int n = 1; n <= 5; ++n) {
    const std::string v = dir / ("set00" + std::to_string(n) + ".zip");
    ASSERT_TRUE(fs::exists(v)) << v;
    EXPECT_LE(fs::file_size(v), 102400u) << v;
  }
  EXPECT_FALSE(fs::exists(dir / "set006.zip"));
  EXPECT_FALSE(fs::exists(dir / "set.zip"));

  ASSERT_EQ(run("l set001.zip"), 0) << err;
  EXPECT_NE(out.find("src/sub/b.txt\t"), std::string::npos) << out;
  ASSERT_EQ(run("t set003.zip"), 0) << err;
  EXPECT_EQ(out, "All 5 files tested OK\n");
  ASSERT_EQ(run("x set002.zip -d out"), 0) << err;
  expectExtracted("out");

  // A second run does not overwrite the set.
  EXPECT_EQ(run("a set.zip -s 100k src/c.bin"), 1);
  EXPECT_NE(err.find("set001.zip already exists"), std::string::npos) << err;

  // The peers' naming: set.z01 ... set.zip, joined by zip -s 0.
  if (testsupport::haveProgram("zip")) {
    for (int n = 1; n <= 5; ++n)
      fs::rename(dir / ("set00" + std::to_string(n) + ".zip"),
                 dir / (n == 5 ? "set.zip" : "set.z0" + std::to_string(n)));
    ASSERT_EQ(shell("cd '" + dir.path() + "' && zip -q -s 0 set.zip --out joined.zip"), 0);
    EXPECT_EQ(shell("cd '" + dir.path() + "' && unzip -qq joined.zip -d peer"), 0);
    expectExtracted("peer");
  }
}

TEST_F(CliSpan, ReadsSetsOfZipSplitAndNamesAMissingVolume) {
  if (!testsupport::haveProgram("zip")) GTEST_SKIP() << "zip is missing";
  ASSERT_EQ(shell("cd '" + dir.path() + "' && zip -q -r -s 128k peer.zip src"), 0);
  ASSERT_EQ(run("t peer.z01"), 0) << err;
  EXPECT_EQ(out, "All 5 files tested OK\n");
  ASSERT_EQ(run("x peer.zip -d out"), 0) << err;
  expectExtracted("out");

  fs::remove(dir / "peer.z02");
  EXPECT_EQ(run("x peer.z01 -d out2"), 1);
  EXPECT_NE(err.find("A volume of this spanned set is missing: " + dir.path() + "/peer.z02"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "out2/src/c.bin"));
}

TEST_F(CliSpan, BadVolumeSizeIsAUsageError) {
  for (const char* size : {"0", "12q", "k", "-5", "99999999999999999999g"}) {
    EXPECT_EQ(run(std::string("a set.zip -s ") + size + " src/c.bin"), 2) << size;
    EXPECT_NE(err.find("option -s needs a volume size"), std::string::npos) << err;
  }
  EXPECT_FALSE(fs::exists(dir / "set001.zip"));
}

TEST_F(CliSpan, MovedFilesAreKeptWhenTheSetCannotBeWritten) {
  // A volume of an older set in the way: unattended, it is not overwritten, so the
  // set fails after the files were moved into the temporary archive.
  dir.write("set002.zip", "an older volume");
  EXPECT_EQ(run("a -m -r -s 100k set.zip src"), 1);
  EXPECT_NE(err.find("Unattended disk spanning not implemented"), std::string::npos) << err;
  const std::string text = "The spanned set was not written; the moved files are kept in the archive ";
  const std::size_t at = err.find(text);
  ASSERT_NE(at, std::string::npos) << err;
  std::string kept = err.substr(at + text.size());
  kept = kept.substr(0, kept.find('\n'));
  ASSERT_TRUE(fs::exists(kept)) << kept;
  EXPECT_EQ(readFile(dir / "set002.zip"), "an older volume");
  EXPECT_FALSE(fs::exists(dir / "set001.zip"));
  // Whatever was moved can be had back from the archive named.
  ASSERT_EQ(run("x '" + kept + "' -d back"), 0) << err;
  for (const char* f : {"src/a.bin", "src/sub/b.txt", "src/c.bin"}) {
    if (!fs::exists(dir / f)) { EXPECT_TRUE(fs::exists(dir / ("back/" + std::string(f)))) << f; }
  }
  fs::remove(kept);
}

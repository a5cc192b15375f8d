// kelvory-cli l, t and x on RAR archives and volume sets: the listing's columns
// and total line, the test summary, extraction with -d, -o, -j and names, and
// the exit status rules of the ZIP commands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "rarlib/rar_builder.h"
#include "rarlib/rarlib_client.h"
#include "support/temp_dir.h"

using testsupport::readFile;
using testsupport::shell;

namespace {

std::string cli() {
  const char* bin = std::getenv("KV_BIN");
  if (bin && *bin) return std::string(bin) + "/kelvory-cli";
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/kelvory-cli";
}

class CliRar : public ::testing::Test {
 protected:
  int run(const std::string& args) {
    int status = shell("cd '" + dir.path() + "' && '" + cli() + "' " + args + " 2>err.txt", &out);
    err = readFile(dir / "err.txt");
    return status;
  }
  std::string sample(const std::string& name) { return "'" + rartest::samples() + "/" + name + "'"; }
  testsupport::TempDir dir;
  std::string out, err;
};

TEST_F(CliRar, ListShowsEveryEntryAndTheTotals) {
  ASSERT_EQ(run("l " + sample("test_read_format_rar_compress_normal.rar")), 0) << err;
  const char* lines[] = {"LibarchiveAddingTest.html\tnormal\t7091\t20111\t", "testlink\tstored\t25\t25\t",
                         "testdir/test.txt\tnormal\t30\t20\t", "testdir/\tstored\t0\t0\t", "6 entries\t14237\t40267\n"};
  for (const char* line : lines) EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
  EXPECT_EQ(err, "");
}

TEST_F(CliRar, AnyVolumeListsTheSet) {
  ASSERT_EQ(run("l " + sample("test_rar_multivolume_multiple_files.part4.rar")), 0) << err;
  EXPECT_NE(out.find("2 entries\t40222\t40222\n"), std::string::npos) << out;
}

TEST_F(CliRar, TestReportsDamageAndExitsOne) {
  ASSERT_EQ(run("t " + sample("test_read_format_rar5_solid.rar")), 0) << err;
  EXPECT_EQ(out, "All 7 files tested OK\n");
  EXPECT_EQ(run("t " + sample("derived_crcerror_rar4_stored.rar")), 1);
  EXPECT_EQ(out, "ERROR: 1 files tested BAD, or skipped!\n");
  EXPECT_EQ(err, "kelvory-cli: test.txt: CRC error, data damaged\n");
  EXPECT_EQ(run("t " + sample("test_read_format_rar5_dirdata.rar")), 1);
  EXPECT_NE(err.find("CRC error, data damaged"), std::string::npos) << err;
}

TEST_F(CliRar, ExtractKeepsOrOverwritesAndTakesNames) {
  dir.write("s.rar", rartest::rar5({rartest::folder("d"), rartest::file("d/a.txt", "A"), rartest::file("b.log", "B")}));
  ASSERT_EQ(run("x s.rar -d out"), 0) << err;
  EXPECT_EQ(out, "2 of 2 files extracted\n");
  EXPECT_EQ(readFile(dir / "out/d/a.txt"), "A");
  dir.write("out/b.log", "changed");
  EXPECT_EQ(run("x s.rar -d out"), 1);
  EXPECT_EQ(out, "0 of 2 files extracted\n");
  EXPECT_NE(err.find("b.log: File exists and was not overwritten"), std::string::npos) << err;
  EXPECT_EQ(readFile(dir / "out/b.log"), "changed");
  ASSERT_EQ(run("x s.rar -d out -o '*.log'"), 0) << err;
  EXPECT_EQ(out, "1 of 1 files extracted\n");
  EXPECT_EQ(readFile(dir / "out/b.log"), "B");
  ASSERT_EQ(run("x s.rar -d flat -j d/a.txt"), 0) << err;
  EXPECT_EQ(readFile(dir / "flat/a.txt"), "A");
  ASSERT_EQ(run("x s.rar -d lit --literal '*.log' b.log"), 1) << "a literal * names nothing";
  EXPECT_EQ(readFile(dir / "lit/b.log"), "B");
  EXPECT_NE(err.find("*.log: no such entry in s.rar"), std::string::npos) << err;
  EXPECT_EQ(run("x s.rar -d out nothing.txt"), 1);
  EXPECT_NE(err.find("nothing.txt: no such entry in s.rar"), std::string::npos) << err;
}

TEST_F(CliRar, PasswordOptionAndRefusals) {
  rartest::Entry locked = rartest::file("locked.txt", "0123456789abcdef");
  locked.password = "pw";
  dir.write("p.rar", rartest::rar5({locked}));
  EXPECT_EQ(run("x p.rar -d out"), 1);
  EXPECT_NE(err.find("locked.txt: Encrypted file: a password is needed"), std::string::npos) << err;
  EXPECT_EQ(run("t p.rar -P nope"), 1);
  EXPECT_NE(err.find("locked.txt: Wrong password"), std::string::npos) << err;
  ASSERT_EQ(run("x p.rar -d out -P pw"), 0) << err;
  EXPECT_EQ(readFile(dir / "out/locked.txt"), "0123456789abcdef");
  // Encrypted headers: the password opens the listing too.
  const std::string hidden = sample("test_read_format_rar5_encrypted_filenames.rar");
  EXPECT_EQ(run("x " + hidden + " -d none"), 1);
  EXPECT_NE(err.find("a password is needed"), std::string::npos) << err;
  ASSERT_EQ(run("x " + hidden + " -d shown -P password"), 0) << err;
  EXPECT_EQ(out, "4 of 4 files extracted\n");
  EXPECT_EQ(readFile(dir / "shown/d.txt"), "This is from d.txt");
  auto vols = rartest::rar5Volumes({rartest::file("v", "0123456789")}, 4);
  dir.write("lone.part2.rar", vols[1]);
  EXPECT_EQ(run("l lone.part2.rar"), 1);
  EXPECT_NE(err.find("Not the first volume"), std::string::npos) << err;
}

}  // namespace

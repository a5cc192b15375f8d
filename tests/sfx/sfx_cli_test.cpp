// kelvory-cli sfx and unsfx: a program made on the command line runs with the
// settings given, and turns back into the archive it was made from.
#include <gtest/gtest.h>

#include <filesystem>

#include "sfx/sfx_fixture.h"

using testsupport::readFile;
using testsupport::shell;
namespace fs = std::filesystem;

namespace {

class SfxCli : public ::testing::Test {
 protected:
  int run(const std::string& args) {
    // The converted input goes to a trash inside the test folder.
    int status = shell("cd '" + dir.path() + "' && XDG_DATA_HOME='" + dir / "data" + "' '" + sfxtest::binFolder() +
                           "/kelvory-cli' " + args + " 2>err.txt",
                       &out);
    err = readFile(dir / "err.txt");
    return status;
  }
  testsupport::TempDir dir;
  std::string out, err;
};

TEST_F(SfxCli, MakesARunningProgramAndTurnsItBack) {
  const std::string zip = ziptest::build({{"a.txt", "alpha\n"}, {"b.txt", "beta\n"}}).all();
  dir.write("t.zip", zip);
  ASSERT_EQ(run("sfx t.zip --caption 'Two files' --dir '><' --cmd 'sh|-c \"cat ><b.txt\"' --overwrite always"), 0)
      << err;
  EXPECT_EQ(out, "self-extracting program made from t.zip: t.exe (2 entries)\n");
  EXPECT_FALSE(fs::exists(dir / "t.zip"));
  EXPECT_TRUE(fs::exists(dir / "data/Trash/files/t.zip"));
  std::string ran;
  ASSERT_EQ(shell("TMPDIR='" + dir.path() + "' '" + dir / "t.exe" + "' </dev/null", &ran), 0);
  EXPECT_EQ(ran.substr(0, 10), "Two files\n");
  EXPECT_NE(ran.find("beta\n"), std::string::npos) << ran;

  ASSERT_EQ(run("unsfx t.exe"), 0) << err;
  EXPECT_EQ(out, "ZIP archive made from t.exe: t.zip (2 entries)\n");
  EXPECT_EQ(readFile(dir / "t.zip"), zip);
  EXPECT_FALSE(fs::exists(dir / "t.exe"));
}

TEST_F(SfxCli, ErrorsAndHelp) {
  dir.write("t.zip", ziptest::build({{"a.txt", "alpha\n"}}).all());
  EXPECT_EQ(run("sfx t.zip --overwrite sometimes"), 2);
  EXPECT_NE(err.find("--overwrite takes confirm, always or never"), std::string::npos) << err;
  EXPECT_EQ(run("sfx t.zip --caption " + std::string(250, 'c')), 1);
  EXPECT_NE(err.find("exceeds 245!"), std::string::npos) << err;
  EXPECT_EQ(readFile(dir / "t.zip"), ziptest::build({{"a.txt", "alpha\n"}}).all());
  EXPECT_EQ(run("unsfx t.zip"), 1);
  EXPECT_NE(err.find("Error: input file is not an .EXE file"), std::string::npos) << err;
  EXPECT_EQ(run("unsfx missing.exe"), 1);
  EXPECT_EQ(run("unsfx"), 2);
  ASSERT_EQ(run("--help"), 0);
  EXPECT_NE(out.find("sfx ARCHIVE.zip [--caption T] [--dir D] [--cmd C] [--overwrite confirm|always|never]"),
            std::string::npos);
  EXPECT_NE(out.find("unsfx PROGRAM.exe"), std::string::npos);
}

TEST_F(SfxCli, AddToANewProgram) {
  dir.write("in/c.txt", "gamma\n");
  ASSERT_EQ(run("a new.exe in/c.txt"), 0) << err;
  std::string ran;
  ASSERT_EQ(shell("'" + dir / "new.exe" + "' --dest '" + dir / "out" + "'", &ran), 0) << ran;
  EXPECT_EQ(readFile(dir / "out/in/c.txt"), "gamma\n");
}

}  // namespace

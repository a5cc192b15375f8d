// The self-extracting program run for real: it extracts what it carries where
// and as its settings say, asks in a terminal only what they allow, runs its
// command, and meets damaged or hostile program files with a clear error and no
// file outside its folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "sfx/sfx_fixture.h"

using sfxtest::programBytes;
using sfxtest::runInTerminal;
using sfxtest::writeProgram;
using testsupport::readFile;
using testsupport::shell;
using zipcore::SfxSettings;
namespace fs = std::filesystem;

namespace {

std::vector<ziptest::Entry> sample() {
  return {{"a.txt", "alpha\n"}, {"sub/", ""}, {"sub/b.txt", std::string(50000, 'b')}};
}

class SfxProgram : public ::testing::Test {
 protected:
  // Runs the program without a terminal (standard input from /dev/null).
  int run(const std::string& program, const std::string& args, const std::string& env = {}) {
    int status =
        shell("cd '" + dir.path() + "' && " + env + " '" + program + "' " + args + " </dev/null 2>err.txt", &out);
    err = readFile(dir / "err.txt");
    return status;
  }
  std::string make(const SfxSettings& s, const std::vector<ziptest::Entry>& entries = sample(),
                   const std::string& name = "setup.exe") {
    return writeProgram(dir, name, programBytes(s, entries));
  }
  static std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

  testsupport::TempDir dir;
  std::string out, err;
};

TEST_F(SfxProgram, ExtractsUnattendedWithDestAndYes) {
  SfxSettings s;
  s.caption = "My Tools 1.0";
  std::string p = make(s);
  ASSERT_EQ(run(p, "--dest out/deeper --yes"), 0) << err;
  EXPECT_EQ(firstLine(out), "My Tools 1.0");
  EXPECT_EQ(readFile(dir / "out/deeper/a.txt"), "alpha\n");
  EXPECT_EQ(readFile(dir / "out/deeper/sub/b.txt"), std::string(50000, 'b'));
  EXPECT_NE(out.find("3 of 3 entries extracted into " + dir.path() + "/out/deeper"), std::string::npos) << out;
}

TEST_F(SfxProgram, WithoutTerminalTheOverwriteModeDecidesAndConfirmKeeps) {
  struct Case {
    std::uint8_t bits;
    bool replaced;
  } cases[] = {{0, false},
               {zipcore::kSfxOverwriteAlways, true},
               {zipcore::kSfxOverwriteNever, false},
               {zipcore::kSfxOverwriteAlways | zipcore::kSfxOverwriteNever, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.bits));
    SfxSettings s;
    s.options = c.bits;
    s.defaultDir = dir / "target";
    std::string p = make(s);
    dir.write("target/a.txt", "mine");
    fs::remove(dir / "target/sub/b.txt");
    EXPECT_EQ(run(p, ""), 0) << err;
    EXPECT_EQ(readFile(dir / "target/a.txt"), c.replaced ? "alpha\n" : "mine");
    EXPECT_EQ(readFile(dir / "target/sub/b.txt"), std::string(50000, 'b'));
  }
}

TEST_F(SfxProgram, DefaultFolders) {
  SfxSettings s;
  s.defaultDir = "><";
  std::string p = make(s);
  fs::create_directory(dir / "tmp");
  ASSERT_EQ(run(p, "", "TMPDIR='" + dir / "tmp" + "'"), 0) << err;
  std::vector<fs::path> made;
  for (const auto& e : fs::directory_iterator(dir / "tmp")) made.push_back(e.path());
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].filename().string().rfind("sfx-", 0), 0u);
  EXPECT_EQ(readFile(made[0] / "a.txt"), "alpha\n");

  s.defaultDir = "C:\\Tools\\Mine";  // a drive root stands for the home folder
  p = make(s);
  ASSERT_EQ(run(p, "", "HOME='" + dir / "home" + "'"), 0) << err;
  EXPECT_EQ(readFile(dir / "home/Tools/Mine/a.txt"), "alpha\n");

  s.defaultDir.clear();  // none: the current folder
  p = make(s);
  ASSERT_EQ(run(p, "--yes"), 0) << err;
  EXPECT_EQ(readFile(dir / "sub/b.txt"), std::string(50000, 'b'));
}

TEST_F(SfxProgram, RunsItsCommandWithTheFolderFilledIn) {
  SfxSettings s;
  s.commandLine = "sh|-c \"cp ><a.txt ><copied.txt\"";
  std::string p = make(s);
  ASSERT_EQ(run(p, "--dest out --yes"), 0) << err;
  EXPECT_EQ(readFile(dir / "out/copied.txt"), "alpha\n");
  EXPECT_NE(out.find("Running: sh -c cp " + dir.path() + "/out/a.txt"), std::string::npos) << out;

  fs::remove(dir / "out/copied.txt");
  ASSERT_EQ(run(p, "--dest out --yes --no-run"), 0) << err;
  EXPECT_FALSE(fs::exists(dir / "out/copied.txt"));

  // A script the archive brings along is made executable first.
  s.commandLine = "><setup.sh|first second";
  p = make(s, {{"setup.sh", "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/ran.txt\"\n"}}, "tool.exe");
  ASSERT_EQ(run(p, "--dest out2"), 0) << err;
  EXPECT_EQ(readFile(dir / "out2/ran.txt"), "first second\n");
}

TEST_F(SfxProgram, ListsWithoutExtracting) {
  std::string p = make({});
  ASSERT_EQ(run(p, "--list"), 0) << err;
  EXPECT_EQ(firstLine(out), "") << "the default caption is empty when the block has none";
  EXPECT_NE(out.find("     50000  2024-03-15 10:20  sub/b.txt"), std::string::npos) << out;
  EXPECT_NE(out.find("3 entries"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists(dir / "a.txt"));
}

TEST_F(SfxProgram, HelpAndBadArguments) {
  std::string p = make({});
  ASSERT_EQ(run(p, "--help"), 0);
  for (const char* option : {"--dest DIR", "--yes", "--list", "--no-run"})
    EXPECT_NE(out.find(option), std::string::npos) << option;
  EXPECT_EQ(run(p, "--frobnicate"), 2);
  EXPECT_NE(err.find("unknown argument: --frobnicate"), std::string::npos) << err;
  EXPECT_EQ(run(p, "--dest"), 2);
}

TEST_F(SfxProgram, WithoutSettingsBlockUsesDefaults) {
  std::string p = writeProgram(dir, "bare.exe", programBytes({}, sample(), false));
  ASSERT_EQ(run(p, "--dest out"), 0) << err;
  EXPECT_EQ(firstLine(out), "Self-extracting Archive");
  EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha\n");
}

TEST_F(SfxProgram, HostileNamesWriteNothingOutsideItsFolder) {
  std::vector<ziptest::Entry> hostile = {
      {"../evil.txt", "x"}, {"sub/../../evil2.txt", "x"}, {"/abs.txt", "abs"}, {"good.txt", "good"}};
  std::string p = make({}, hostile);
  fs::create_directory(dir / "out");
  EXPECT_EQ(run(p, "--dest out/in --yes"), 1);
  EXPECT_FALSE(fs::exists(dir / "out/evil.txt"));
  EXPECT_FALSE(fs::exists(dir / "evil.txt"));
  EXPECT_FALSE(fs::exists(dir / "out/evil2.txt"));
  EXPECT_EQ(readFile(dir / "out/in/abs.txt"), "abs");
  EXPECT_EQ(readFile(dir / "out/in/good.txt"), "good");
  EXPECT_NE(err.find("../evil.txt"), std::string::npos) << err;
}

TEST_F(SfxProgram, DamagedProgramFilesAreRefused) {
  std::string good = programBytes({}, sample());
  // Cut short: the archive's end record is gone.
  std::string p = writeProgram(dir, "cut.exe", good.substr(0, good.size() - 30));
  EXPECT_EQ(run(p, "--dest out"), 3);
  EXPECT_NE(err.find("carries no usable archive"), std::string::npos) << err;
  // Bytes appended: the size check refuses, unless the block turns it off.
  p = writeProgram(dir, "long.exe", good + "tail bytes");
  EXPECT_EQ(run(p, "--dest out"), 3);
  EXPECT_NE(err.find("damaged or incomplete"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "out/a.txt"));
  SfxSettings noCheck;
  noCheck.options = zipcore::kSfxNoSizeCheck;
  p = writeProgram(dir, "long2.exe", programBytes(noCheck, sample()) + "tail bytes");
  EXPECT_EQ(run(p, "--dest out"), 0) << err;
  EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha\n");
  // Text lengths that run past the block.
  std::string damaged = good;
  const std::size_t block = sfxtest::stubBytes().size();
  damaged[block + 4] = static_cast<char>(200);
  damaged[block + 5] = static_cast<char>(100);
  p = writeProgram(dir, "block.exe", damaged);
  EXPECT_EQ(run(p, "--dest out3"), 3);
  EXPECT_NE(err.find("settings block of this program is damaged"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir / "out3"));
  // The stub alone: no archive at all.
  EXPECT_EQ(run(sfxtest::stubPath(), "--dest out4"), 3);
  EXPECT_NE(err.find("carries no usable archive"), std::string::npos) << err;
}

TEST_F(SfxProgram, ControlCharactersInTheSettingsNeverReachTheTerminal) {
  SfxSettings s;
  s.caption = "Tools\x1b[2J\x07";
  std::string p = make(s);
  ASSERT_EQ(run(p, "--list"), 0);
  EXPECT_EQ(firstLine(out), "Tools\\x1b[2J\\x07");
}

TEST_F(SfxProgram, TerminalAsksForFolderModeFilesAndCommand) {
  SfxSettings s;
  s.caption = "Asking";
  s.options = zipcore::kSfxAskFiles | zipcore::kSfxAskCmdLine;
  s.defaultDir = dir / "default";
  s.commandLine = "sh|-c \"touch ><ran\"";
  std::string p = make(s);
  dir.write("chosen/a.txt", "mine");
  // folder, mode (ask for each), files 1 and 3, replace a.txt? no, run? no
  auto r = runInTerminal(p, {}, {dir / "chosen", "a", "1,3", "n", "n"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(firstLine(r.out), "Asking\r");
  EXPECT_NE(r.out.find("Extract to [" + dir / "default" + "]: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Replace a.txt? [y]es, [n]o, [A]ll, [N]one: "), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("The command was not run."), std::string::npos) << r.out;
  EXPECT_EQ(readFile(dir / "chosen/a.txt"), "mine");
  EXPECT_EQ(readFile(dir / "chosen/sub/b.txt"), std::string(50000, 'b'));
  EXPECT_FALSE(fs::exists(dir / "chosen/ran"));
  EXPECT_FALSE(fs::exists(dir / "default"));

  // The same program with answers that replace and run.
  r = runInTerminal(p, {}, {"", "", "", ""}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_TRUE(fs::exists(dir / "default/ran")) << r.out;
}

TEST_F(SfxProgram, TerminalAsksOnlyWhatTheSettingsAllow) {
  SfxSettings s;
  s.options = zipcore::kSfxHideOverwrite | zipcore::kSfxOverwriteAlways;
  s.defaultDir = dir / "t";
  s.commandLine = "sh|-c \"touch ><ran\"";
  std::string p = make(s);
  dir.write("t/a.txt", "mine");
  auto r = runInTerminal(p, {}, {""}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("Files that exist"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Files to extract"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("now? [Y/n]"), std::string::npos) << r.out;
  EXPECT_EQ(readFile(dir / "t/a.txt"), "alpha\n");
  EXPECT_TRUE(fs::exists(dir / "t/ran"));

  // Asked to run at once: no question even in a terminal.
  s.options = zipcore::kSfxAutoRun;
  s.defaultDir = dir / "auto";
  p = make(s, sample(), "auto.exe");
  r = runInTerminal(p, {}, {}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(readFile(dir / "auto/a.txt"), "alpha\n");

  // The end of the input cancels a question: nothing is extracted.
  s.options = 0;
  s.defaultDir = dir / "never";
  p = make(s, sample(), "cancel.exe");
  r = runInTerminal(p, {}, {"\x04"}, dir.path());
  EXPECT_EQ(r.status, 5) << r.out;
  EXPECT_NE(r.out.find("Cancelled: nothing was extracted."), std::string::npos) << r.out;
  EXPECT_FALSE(fs::exists(dir / "never"));
}

}  // namespace

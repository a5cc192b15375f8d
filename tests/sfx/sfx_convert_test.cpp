// ConvertSFX and ConvertZIP on real archives: the program made runs and the peer
// tools read it as a ZIP, the way back restores the archive byte for byte, Add
// starts a new program as stub, block and empty directory, and a refused,
// failed or cancelled conversion leaves the input as it was and no output.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>

#include "platform/pump.h"
#include "sfx/sfx_fixture.h"
#include "zipcore/inputfile.h"
#include "zipengine/engine_fixture.h"

using testsupport::readFile;
using testsupport::shell;
namespace fs = std::filesystem;

namespace {

class SfxConvert : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    engine.HowToDelete = htdFinal;
    engine.Unattended = true;
    engine.SFXPath = sfxtest::stubPath();
    zipBytes =
        ziptest::build({{"a.txt", "alpha\n"}, {"sub/", ""}, {"sub/b.txt", std::string(50000, 'b')}}, "archive comment")
            .all();
    zipPath = dir.write("pack.zip", zipBytes);
    engine.setZipFilename(zipPath);
  }
  // The files in the test folder other than the ones named.
  std::vector<std::string> folderFiles() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir.path())) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  bool peer(const char* tool) {
    if (testsupport::haveProgram(tool)) return true;
    ADD_FAILURE() << tool << " is not installed (./test.sh installs the peers)";
    return false;
  }

  std::string zipBytes, zipPath;
};

TEST_F(SfxConvert, ProgramRunsIsReadByPeersAndTurnsBackByteForByte) {
  engine.SFXCaption = "Pack";
  engine.SFXCommandLine = "sh|-c \"cp ><a.txt ><done.txt\"";
  ASSERT_EQ(engine.ConvertSFX(), 0) << engine.LastMessage();
  const std::string exe = dir / "pack.exe";
  EXPECT_EQ(engine.ZipFilename(), exe);
  EXPECT_FALSE(fs::exists(zipPath));
  const std::uint64_t front = fs::file_size(sfxtest::stubPath()) + zipcore::kSfxBlockSize;
  EXPECT_EQ(engine.ContentStart(), front);
  EXPECT_EQ(engine.EntryCount(), 3);
  EXPECT_FALSE(engine.StructureError());
  EXPECT_EQ(fs::file_size(exe), front + zipBytes.size());
  EXPECT_NE(fs::status(exe).permissions() & fs::perms::owner_exec, fs::perms::none);

  std::string out;
  ASSERT_EQ(shell("'" + exe + "' --dest '" + dir / "out" + "' --yes", &out), 0) << out;
  EXPECT_EQ(out.substr(0, 5), "Pack\n");
  EXPECT_EQ(readFile(dir / "out/sub/b.txt"), std::string(50000, 'b'));
  EXPECT_EQ(readFile(dir / "out/done.txt"), "alpha\n");
  if (peer("unzip")) { EXPECT_EQ(shell("unzip -tqq '" + exe + "'", &out), 0) << out; }
  // 7zz looks for the archive only within the first few MiB of a program; the
  // sanitizer build's stub is larger than that.
  if (peer("7zz") && front < 8'000'000) { EXPECT_EQ(shell("7zz t '" + exe + "'", &out), 0) << out; }
  if (peer("bsdtar")) {
    EXPECT_EQ(shell("bsdtar -tf '" + exe + "'", &out), 0) << out;
    EXPECT_EQ(out, "a.txt\nsub/\nsub/b.txt\n");
  }

  ASSERT_EQ(engine.ConvertZIP(), 0) << engine.LastMessage();
  EXPECT_EQ(engine.ZipFilename(), zipPath);
  EXPECT_EQ(readFile(zipPath), zipBytes);
  EXPECT_FALSE(fs::exists(exe));
  EXPECT_EQ(folderFiles(), (std::vector<std::string>{"out", "pack.zip"}));
}

TEST_F(SfxConvert, SettingsBlockCarriesTheProperties) {
  struct Case {
    SFXOpts options;
    OvrOpts mode;
    std::uint8_t byte;
  } cases[] = {
      {{SFXCheckSize}, OvrConfirm, 0},
      {{}, OvrConfirm, 32},
      {{SFXCheckSize, SFXAskCmdLine, SFXAskFiles, SFXHideOverWriteBox}, OvrAlways, 1 | 2 | 4 | 8},
      {{SFXCheckSize, SFXAutoRun}, OvrNever, 16 | 64},
  };
  for (const Case& c : cases) EXPECT_EQ(TZipEngine::SfxOptionByte(c.options, c.mode), c.byte) << int(c.byte);

  engine.SFXOptions = {SFXAskFiles};
  engine.SFXOverWriteMode = OvrNever;
  engine.SFXCaption = "C";
  engine.SFXDefaultDir = "><";
  engine.SFXCommandLine = "x|y";
  ASSERT_EQ(engine.ConvertSFX(), 0) << engine.LastMessage();
  zipcore::InputFile f;
  ASSERT_TRUE(f.open(engine.ZipFilename()));
  zipcore::SfxSettings s;
  ASSERT_EQ(zipcore::ReadSfxBlock(f, engine.ContentStart(), s), zipcore::SfxBlockRead::Ok);
  EXPECT_EQ(s.options, 2 | 16 | 32);
  EXPECT_EQ(s.caption, "C");
  EXPECT_EQ(s.defaultDir, "><");
  EXPECT_EQ(s.commandLine, "x|y");
}

TEST_F(SfxConvert, TextsOf249AreTakenAnd250Refused) {
  engine.Unattended = false;
  engine.SFXCaption = std::string(100, 'c');
  engine.SFXDefaultDir = std::string(100, 'd');
  engine.SFXCommandLine = std::string(50, 'x');
  EXPECT_EQ(engine.ConvertSFX(), -9);
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Error - The total size of the 3 text properties exceeds 245!"
                                                    "\r\nSFXCaption + SFXDefaultDir + SFXCommandLine = 250"});
  EXPECT_EQ(readFile(zipPath), zipBytes);
  EXPECT_EQ(folderFiles(), std::vector<std::string>{"pack.zip"});
  engine.SFXCommandLine.pop_back();
  EXPECT_EQ(engine.ConvertSFX(), 0) << engine.LastMessage();
  EXPECT_EQ(ui.boxTexts().size(), 1u);
}

TEST_F(SfxConvert, RefusalsLeaveEverythingAsItWas) {
  engine.Unattended = false;
  // A plain archive that merely carries the name of a program.
  std::string plain = dir.write("plain.exe", zipBytes);
  engine.setZipFilename(plain);
  EXPECT_EQ(engine.ConvertZIP(), -9);
  // Not a ".zip" for ConvertSFX.
  EXPECT_EQ(engine.ConvertSFX(), -9);
  engine.setZipFilename("");
  EXPECT_EQ(engine.ConvertZIP(), -3);
  EXPECT_EQ(engine.ConvertSFX(), -9);
  engine.setZipFilename(zipPath);
  EXPECT_EQ(engine.ConvertZIP(), -3);
  EXPECT_EQ(ui.boxTexts(),
            (std::vector<std::string>{"Error determining the type of SFX archive",
                                      "Error: input file is not a zip file", "Error - no .EXE file specified",
                                      "Error - no zip file specified!", "Error: input file is not an .EXE file"}));
  EXPECT_EQ(readFile(plain), zipBytes);
  EXPECT_EQ(readFile(zipPath), zipBytes);
  EXPECT_EQ(folderFiles(), (std::vector<std::string>{"pack.zip", "plain.exe"}));
}

TEST_F(SfxConvert, StubIsLookedForWhereThePlatformKeepsIt) {
  engine.Unattended = false;
  engine.SFXPath = dir / "missing-stub";
  // Beside the running program, which is where the build puts kvsfx too.
  EXPECT_EQ(engine.ConvertSFX(), 0) << engine.LastMessage();
  EXPECT_EQ(engine.SFXPath, sfxtest::binFolder() + "/kvsfx");
}

TEST_F(SfxConvert, CancelAndWriteFailureLeaveTheInputAndNoOutput) {
  zipBytes = ziptest::build({{"big.bin", std::string(3 << 20, 'z')}}).all();
  zipPath = dir.write("pack.zip", zipBytes);
  engine.setZipFilename(zipPath);
  int pumps = 0;
  platform::setPumpHook([&] {
    if (++pumps == 3) engine.CancelRequested = true;
  });
  EXPECT_EQ(engine.ConvertSFX(), -9);
  platform::setPumpHook({});
  EXPECT_GE(pumps, 3);
  EXPECT_EQ(readFile(zipPath), zipBytes);
  EXPECT_EQ(folderFiles(), std::vector<std::string>{"pack.zip"});

  // The disk fills up (a file size limit) in the middle of the copy.
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ::getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = fs::file_size(sfxtest::stubPath()) + (1 << 20);
  ::setrlimit(RLIMIT_FSIZE, &small);
  const int result = engine.ConvertSFX();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  EXPECT_EQ(result, -2) << engine.LastMessage();
  EXPECT_EQ(readFile(zipPath), zipBytes);
  EXPECT_EQ(folderFiles(), std::vector<std::string>{"pack.zip"});
  EXPECT_EQ(engine.ZipFilename(), zipPath);
}

TEST_F(SfxConvert, AddToANewProgramStartsWithStubBlockAndEmptyDirectory) {
  engine.setDLLDirectory(sfxtest::binFolder());
  engine.SFXCaption = "Fresh";
  const std::string exe = dir / "fresh.exe";
  engine.setZipFilename(exe);
  engine.FSpecArgs = {dir.write("in/c.txt", "gamma\n")};
  engine.Add();
  ASSERT_EQ(engine.SuccessCount(), 1) << engine.LastMessage();
  const std::string stub = sfxtest::stubBytes();
  const std::string bytes = readFile(exe);
  EXPECT_EQ(bytes.substr(0, stub.size()), stub);
  EXPECT_EQ(bytes.substr(stub.size(), 4), std::string("MPU\0", 4));
  EXPECT_EQ(engine.ContentStart(), stub.size() + zipcore::kSfxBlockSize);
  std::string out;
  ASSERT_EQ(shell("'" + exe + "' --dest '" + dir / "out" + "'", &out), 0) << out;
  EXPECT_EQ(out.substr(0, 6), "Fresh\n");
  EXPECT_EQ(readFile(dir / "out/c.txt"), "gamma\n");
}

TEST_F(SfxConvert, EmptyProgramIsStubBlockAndEndRecord) {
  // The recording stand-in library leaves the archive alone: what Add wrote
  // before calling it stays to be seen.
  ::setenv("KV_RECORD_FILE", (dir / "record.txt").c_str(), 1);
  engine.setDLLDirectory(KV_TESTLIBS "/record");
  const std::string exe = dir / "empty.exe";
  engine.setZipFilename(exe);
  engine.FSpecArgs = {"whatever"};
  engine.Add();
  ::unsetenv("KV_RECORD_FILE");
  const std::string stub = sfxtest::stubBytes();
  const std::string bytes = readFile(exe);
  ASSERT_EQ(bytes.size(), stub.size() + 256 + 22);
  EXPECT_EQ(bytes.substr(stub.size() + 256), zipcore::EmptyEndRecord(stub.size() + 256));
  std::string out;
  EXPECT_EQ(shell("'" + exe + "' --list", &out), 0) << out;
  EXPECT_NE(out.find("0 entries"), std::string::npos) << out;
}

}  // namespace

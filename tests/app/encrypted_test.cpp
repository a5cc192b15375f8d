// Encrypted ZIP archives tested and extracted from the main window: the password
// prompt comes up for the encrypted entries only, again after a wrong answer and at
// most three times per archive; the password that fitted opens the next entry
// without a prompt, and Cancel leaves the entry out with a word about it. The
// archives are made on the spot by the peer tools, two entries encrypted, one not.
#include <algorithm>
#include <filesystem>

#include "app/app_fixture.h"

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::shell;

namespace {

const char* const kPassword = "s3cret pass";
const char* const kPrompt = "Password required|Password:";

// The commands that make the archive enc.zip in the current folder: secret1.txt and
// secret2.txt encrypted (ZipCrypto), plain.txt added afterwards without a password.
struct Maker {
  const char* name;  // of the test
  const char* tool;
  const char* commands;
};

const Maker kMakers[] = {
    {"zip", "zip", "zip -q -P 's3cret pass' enc.zip secret1.txt secret2.txt && zip -q enc.zip plain.txt"},
    {"sevenzip", "7zz",
     "7zz a -bd -tzip -mem=ZipCrypto '-ps3cret pass' enc.zip secret1.txt secret2.txt >/dev/null && "
     "7zz a -bd -tzip enc.zip plain.txt >/dev/null"},
};

class EncryptedArchive : public AppTest, public ::testing::WithParamInterface<Maker> {
 protected:
  EncryptedArchive() { ui.acceptInformationBoxes(true); }

  // The window with enc.zip open; null (after a failure) when the peer is missing.
  std::unique_ptr<TMainform> open() {
    if (!testsupport::haveProgram(GetParam().tool)) {
      ADD_FAILURE() << GetParam().tool << " is not installed (./test.sh installs the peers)";
      return nullptr;
    }
    dir.write("src/secret1.txt", "first secret\n");
    dir.write("src/secret2.txt", std::string(70000, 's'));
    dir.write("src/plain.txt", "nothing to hide\n");
    // The password check of this encryption is one byte of a random header, so a
    // wrong answer passes it once in 256 times and the entry then fails its CRC
    // instead. These tests count prompts, so the archive is made again until every
    // wrong answer they give is turned away by the check on both encrypted entries.
    for (int attempt = 0;; ++attempt) {
      fs::remove(dir / "src/enc.zip");
      if (shell("cd '" + dir / "src" + "' && " + GetParam().commands) != 0) {
        ADD_FAILURE() << "the archive was not made";
        return nullptr;
      }
      if (wrongAnswersTurnedAway()) break;
      if (attempt == 20) {
        ADD_FAILURE() << "no archive turned every wrong answer away";
        return nullptr;
      }
    }
    auto f = make();
    f->OpenArchive(dir / "src/enc.zip");
    return f;
  }
  static constexpr const char* kWrongAnswers[] = {"guess", "one", "two", "three", "wrong"};
  bool wrongAnswersTurnedAway() {
    for (const char* w : kWrongAnswers) {
      std::string out;
      shell("cd '" + dir / "src" + "' && unzip -t -P '" + w + "' enc.zip 2>&1", &out);
      std::size_t turned = 0;  // "skipping: NAME  incorrect password" lines, not the total
      for (std::size_t at = 0; (at = out.find("incorrect password\n", at)) != std::string::npos; ++at) ++turned;
      if (turned != 2) return false;
    }
    return true;
  }
  // Extracts every entry into a new folder out/, answering the prompts in turn.
  void extract(TMainform& f, const std::vector<std::optional<std::string>>& answers) {
    fs::create_directories(dir / "out");
    ui.onModal(extractTo(dir / "out"));
    for (const auto& a : answers) ui.answerInput(a);
    f.BU_ExtractClick();
  }
  int prompts() const { return static_cast<int>(std::count(ui.inputs.begin(), ui.inputs.end(), kPrompt)); }
  bool written(const std::string& name) const { return fs::exists(dir / ("out/" + name)); }
  bool boxSays(const std::string& part) const {
    for (const std::string& t : ui.boxTexts())
      if (t.find(part) != std::string::npos) return true;
    return false;
  }
};

TEST_P(EncryptedArchive, TheRightPasswordOpensEveryEncryptedEntryWithOnePrompt) {
  auto f = open();
  if (!f) return;
  extract(*f, {kPassword});
  EXPECT_EQ(prompts(), 1) << "the password that fitted is tried first on the next entry";
  EXPECT_EQ(readFile(dir / "out/secret1.txt"), "first secret\n");
  EXPECT_EQ(readFile(dir / "out/secret2.txt"), std::string(70000, 's'));
  EXPECT_EQ(readFile(dir / "out/plain.txt"), "nothing to hide\n");
  EXPECT_TRUE(boxSays("3 file(s) were extracted")) << ::testing::PrintToString(ui.boxTexts());
  EXPECT_TRUE(ui.unexpected.empty()) << ::testing::PrintToString(ui.unexpected);
}

TEST_P(EncryptedArchive, AWrongAnswerIsAskedAgain) {
  auto f = open();
  if (!f) return;
  extract(*f, {"guess", kPassword});
  EXPECT_EQ(prompts(), 2);
  EXPECT_EQ(readFile(dir / "out/secret1.txt"), "first secret\n");
  EXPECT_EQ(readFile(dir / "out/secret2.txt"), std::string(70000, 's'));
  EXPECT_TRUE(written("plain.txt"));
  EXPECT_TRUE(ui.unexpected.empty()) << ::testing::PrintToString(ui.unexpected);
}

TEST_P(EncryptedArchive, ThreeWrongAnswersEndThePromptsForTheArchive) {
  auto f = open();
  if (!f) return;
  extract(*f, {"one", "two", "three"});
  EXPECT_EQ(prompts(), 3);
  EXPECT_TRUE(ui.unexpected.empty()) << "no fourth prompt: " << ::testing::PrintToString(ui.unexpected);
  EXPECT_FALSE(written("secret1.txt"));
  EXPECT_FALSE(written("secret2.txt"));
  EXPECT_EQ(readFile(dir / "out/plain.txt"), "nothing to hide\n");
  EXPECT_TRUE(boxSays("secret1.txt: wrong password")) << ::testing::PrintToString(ui.boxTexts());
  EXPECT_TRUE(boxSays("secret2.txt: password required"));
  // The count starts again with the next command.
  ui.inputs.clear();
  ui.answerInput(kPassword);
  f->Test1Click();
  EXPECT_EQ(prompts(), 1);
  EXPECT_TRUE(boxSays("All 3 files tested OK"));
}

TEST_P(EncryptedArchive, CancelSkipsTheEntryAndSaysSo) {
  auto f = open();
  if (!f) return;
  extract(*f, {std::nullopt, kPassword});
  EXPECT_EQ(prompts(), 2);
  EXPECT_FALSE(written("secret1.txt"));
  EXPECT_EQ(readFile(dir / "out/secret2.txt"), std::string(70000, 's'));
  EXPECT_TRUE(written("plain.txt"));
  EXPECT_TRUE(boxSays("secret1.txt: skipped: no password given")) << ::testing::PrintToString(ui.boxTexts());
  EXPECT_TRUE(ui.unexpected.empty()) << ::testing::PrintToString(ui.unexpected);
}

TEST_P(EncryptedArchive, TestAsksTooAndCountsTheSkippedEntries) {
  auto f = open();
  if (!f) return;
  ui.answerInput("wrong").answerInput(kPassword);
  f->Test1Click();
  EXPECT_EQ(prompts(), 2);
  EXPECT_TRUE(boxSays("All 3 files tested OK")) << ::testing::PrintToString(ui.boxTexts());
  ui.boxes.clear();
  ui.inputs.clear();
  ui.answerInput(std::nullopt).answerInput(std::nullopt);
  f->Test1Click();
  EXPECT_EQ(prompts(), 2);
  EXPECT_TRUE(boxSays("ERROR: 2 files tested BAD, or skipped!")) << ::testing::PrintToString(ui.boxTexts());
  EXPECT_TRUE(ui.unexpected.empty()) << ::testing::PrintToString(ui.unexpected);
}

// An unattended engine asks nobody: the encrypted entries fail as before.
TEST_P(EncryptedArchive, AnUnattendedEngineAsksNobody) {
  auto f = open();
  if (!f) return;
  f->ZipEngine1.Unattended = true;
  f->ZipEngine1.ExtrBaseDir = dir / "out";
  f->ZipEngine1.ExtrOptions = {ExtrDirNames};
  f->ZipEngine1.Extract();
  EXPECT_EQ(f->ZipEngine1.SuccessCount(), 1);
  EXPECT_TRUE(ui.inputs.empty());
  EXPECT_TRUE(ui.unexpected.empty());
  EXPECT_FALSE(fs::exists(dir / "out/secret1.txt"));
  EXPECT_TRUE(fs::exists(dir / "out/plain.txt"));
}

INSTANTIATE_TEST_SUITE_P(Peers, EncryptedArchive, ::testing::ValuesIn(kMakers),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace

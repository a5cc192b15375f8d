// The main window's self-extracting command both ways: the dialog's options reach
// the program, the window works on the new file with the way-back caption, and
// refusals and failures say so and change nothing.
#include <QAction>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "app/app_fixture.h"
#include "dialogs/makesfx.h"
#include "widgets/qt_ui.h"

namespace fs = std::filesystem;

namespace {

class SfxCommand : public AppTest {
 protected:
  SfxCommand() {
    f = make();
    f->ZipEngine1.HowToDelete = htdFinal;
  }
  // The dialog answers with OK after fill, or with Close.
  void answerDialog(std::function<void(TMakeSFX&)> fill, bool ok = true) {
    ui.onModal([fill, ok](platform::ModalWindow& m) {
      auto& d = dialogOf<TMakeSFX>(m);
      if (fill) fill(d);
      (ok ? d.BitBtn1 : d.BitBtn2)->click();
      return d.result();
    });
  }
  QString caption() { return f->Action("MakeSelfExtractedfile1")->text(); }
  std::unique_ptr<TMainform> f;
};

TEST_F(SfxCommand, MakesAProgramAndTurnsItBack) {
  const std::string zip = writeZip("A.zip", kThree);
  const std::string zipBytes = readFile(zip);
  ASSERT_TRUE(f->OpenArchive(zip));
  answerDialog([](TMakeSFX& d) {
    d.CaptionEdit->setText("Three files");
    d.DirectoryEdit->setText("><");
  });
  f->MakeSelfExtractedfile1Click();
  const std::string exe = dir / "A.exe";
  EXPECT_EQ(ui.modalWindows, std::vector<std::string>{"TMakeSFX"});
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"Successfully built: " + exe});
  EXPECT_EQ(ui.boxes.back().kind, platform::MsgKind::Plain);
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), exe);
  EXPECT_EQ(caption(), "Create &ZIP file");
  EXPECT_EQ(f->Action("MakeEXEfile1")->text(), "Create &ZIP file");
  EXPECT_NE(f->windowTitle().toStdString().find("A.exe"), std::string::npos);
  EXPECT_FALSE(fs::exists(zip));
  EXPECT_EQ(f->ZipEngine1.SFXCaption, "Three files");

  std::string out;
  ASSERT_EQ(testsupport::shell("'" + exe + "' --dest '" + dir / "out" + "'", &out), 0) << out;
  EXPECT_EQ(out.substr(0, 12), "Three files\n");
  EXPECT_EQ(readFile(dir / "out/dir/b.txt"), "bravo!");

  f->MakeSelfExtractedfile1Click();  // the way back asks nothing first
  EXPECT_EQ(ui.modalWindows.size(), 1u);
  EXPECT_EQ(ui.boxTexts().back(), "Successfully built: " + zip);
  EXPECT_EQ(caption(), "&Make Self Extracting file");
  EXPECT_EQ(readFile(zip), zipBytes);
  EXPECT_FALSE(fs::exists(exe));
}

TEST_F(SfxCommand, EmptyArchiveClosedDialogAndFailure) {
  const std::string empty = dir.write("E.zip", ziptest::build({}).all());
  ASSERT_TRUE(f->OpenArchive(empty));
  f->MakeSelfExtractedfile1Click();
  EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{"The Archive must contain atleast one file!"});
  EXPECT_TRUE(ui.modalWindows.empty());

  const std::string zip = writeZip("B.zip", kThree);
  const std::string bytes = readFile(zip);
  ASSERT_TRUE(f->OpenArchive(zip));
  answerDialog({}, false);
  f->MakeSelfExtractedfile1Click();
  EXPECT_EQ(ui.boxTexts().size(), 1u) << "Close converts nothing";
  EXPECT_FALSE(f->SfxConfirmed);

  // Texts too long together: the engine's refusal, then the command's own text.
  answerDialog([](TMakeSFX& d) { d.CaptionEdit->setText(QString(250, 'c')); });
  f->MakeSelfExtractedfile1Click();
  ASSERT_EQ(ui.boxTexts().size(), 3u);
  EXPECT_EQ(ui.boxTexts()[1].rfind("Error - The total size of the 3 text properties exceeds 245!", 0), 0u);
  EXPECT_EQ(ui.boxTexts()[2], "Error while creating .EXE file");
  EXPECT_EQ(readFile(zip), bytes);
  EXPECT_FALSE(fs::exists(dir / "B.exe"));
  EXPECT_EQ(caption(), "&Make Self Extracting file");
}

TEST_F(SfxCommand, RebuildKeepsTheProgramsSettings) {
  ASSERT_TRUE(f->OpenArchive(writeZip("C.zip", kThree)));
  answerDialog([](TMakeSFX& d) { d.CaptionEdit->setText("Kept caption"); });
  f->MakeSelfExtractedfile1Click();
  const std::string exe = dir / "C.exe";
  ASSERT_EQ(f->ZipEngine1.ZipFilename(), exe);
  // A newer stub beside the program, and a change to the archive.
  fs::copy_file(std::string(std::getenv("KV_BIN")) + "/kvsfx", dir / "kelvory.dat");
  f->ArchiveChanged = true;
  f->RebuildSfx();
  std::string out;
  ASSERT_EQ(testsupport::shell("'" + exe + "' --list", &out), 0) << out;
  EXPECT_EQ(out.substr(0, 13), "Kept caption\n");
  EXPECT_NE(out.find("dir/b.txt"), std::string::npos) << out;
}

}  // namespace

// The multiple-file extraction window extracts ZIP and RAR archives into the
// folder of their row, reports a bad row and goes on, counts only the archives
// extracted without a problem, stops on Cancel without a partial file, and keeps
// its work list straight through adding, removing and re-adding rows.
#include <unistd.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

#include "app/app_fixture.h"
#include "dialogs/inmdlg.h"
#include "dialogs/mfe.h"
#include "platform/pump.h"
#include "rarlib/rar_builder.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

namespace fs = std::filesystem;
using platform::kBtnOk;
using platform::MsgKind;
using testsupport::readFile;

namespace {

std::string sample(const std::string& name) { return std::string(KV_RAR_SAMPLES) + "/" + name; }

std::string copyOf(const std::string& from, const std::string& to) {
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  return to;
}

}  // namespace

class MfeTest : public AppTest {
 protected:
  // Adds archives through the open dialog, each row given folder as destination.
  void add(TF_MFE& w, const std::vector<std::string>& archives, const std::string& folder) {
    w.ed_Defdir->setText(widgets::qs(folder));
    ui.answerOpenFiles(archives);
    w.bu_Add->click();
  }
  std::vector<QStringList> rows(TF_MFE& w) {
    std::vector<QStringList> r;
    for (int i = 0; i < w.gr_Files->RowCount(); ++i) r.push_back(w.gr_Files->Rows(i));
    return r;
  }
  std::string rarSample = sample("test_read_format_rar5_multiple_files.rar");
};

TEST_F(MfeTest, ZipAndRarArchivesGoEachIntoTheFolderOfItsRow) {
  const std::string one = writeZip("one.zip", kThree);
  const std::string caps = writeZip("CAPS.ZIP", {{"upper.txt", "from a capital extension"}});
  const std::string built = dir.write("built.RAR", rartest::rar5({rartest::file("r/deep.txt", "rar data")}));
  const std::string real = copyOf(rarSample, dir / "real.rar");
  TF_MFE w;
  add(w, {one, caps}, dir / "outA");
  add(w, {built, real}, dir / "outB");
  // A destination changed in place counts as typed.
  w.gr_Files->setCells(1, 2, widgets::qs(dir / "outC"));
  ASSERT_EQ(ui.fileDialogs.size(), 2u);
  EXPECT_EQ(ui.fileDialogs[0].filter, "ZIP Files (*.ZIP)|*.ZIP|RAR Files (*-RAR)|*.RAR");
  EXPECT_TRUE(ui.fileDialogs[0].multiSelect);
  EXPECT_EQ(rows(w), (std::vector<QStringList>{{"Filename", "Path"},
                                               {widgets::qs(one), widgets::qs(dir / "outA")},
                                               {widgets::qs(caps), widgets::qs(dir / "outC")},
                                               {widgets::qs(built), widgets::qs(dir / "outB")},
                                               {widgets::qs(real), widgets::qs(dir / "outB")}}));
  ui.answerMessage(kBtnOk);
  w.BitBtn1Click();
  ASSERT_EQ(ui.boxes.size(), 1u) << ui.boxes.front().text;
  EXPECT_EQ(ui.boxes[0].text, "4 files extracted successfully");
  EXPECT_EQ(ui.boxes[0].kind, MsgKind::Information);
  EXPECT_EQ(readFile(dir / "outA/a.txt"), "alpha");
  EXPECT_EQ(readFile(dir / "outA/dir/b.txt"), "bravo!");  // with the folders of the archive
  EXPECT_EQ(readFile(dir / "outA/c.txt"), "charlie");
  EXPECT_EQ(readFile(dir / "outC/upper.txt"), "from a capital extension");
  EXPECT_EQ(readFile(dir / "outB/r/deep.txt"), "rar data");
  // The real archiver's sample: four files of 4096 bytes.
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir / "outB"))
    if (e.is_regular_file() && e.path().filename() != "deep.txt") {
      ++files;
      EXPECT_EQ(e.file_size(), 4096u) << e.path();
    }
  EXPECT_EQ(files, 4);
  EXPECT_TRUE(w.ProgressBar1->isHidden());
  EXPECT_TRUE(w.BitBtn1->isEnabled());
  EXPECT_EQ(w.la_Archive->text(), widgets::qs(real));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(MfeTest, BadRowsAreReportedAndTheRunGoesOnCountingOnlyGoodArchives) {
  const std::string good1 = writeZip("good1.zip", kThree);
  const std::string damagedZip = dir.write("damaged.zip", "PK\x03\x04 this is not a whole archive");
  const std::string badRar = copyOf(sample("derived_crcerror_rar5_stored.rar"), dir / "crc.rar");
  const std::string notArchive = dir.write("notes.txt", "text");
  const std::string good2 = dir.write("good2.rar", rartest::rar5({rartest::file("z.txt", "zulu")}));
  TF_MFE w;
  add(w, {good1, damagedZip, dir / "gone.zip", badRar, notArchive, good2}, dir / "out");
  ui.acceptInformationBoxes(true);
  w.BitBtn1Click();
  std::vector<std::string> texts = ui.boxTexts();
  ASSERT_GE(texts.size(), 6u);
  // The engine's own text comes first; then the row is named.
  auto at = std::find(texts.begin(), texts.end(), "Error while extracting: " + damagedZip);
  ASSERT_NE(at, texts.end());
  EXPECT_NE(at, texts.begin());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "File not found: " + (dir / "gone.zip")), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "CRC error, data damaged"), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Error while extracting: " + badRar), texts.end());
  EXPECT_NE(std::find(texts.begin(), texts.end(), "Not a valid ZIP & RAR file"), texts.end());
  // The archives that failed are not counted as extracted.
  EXPECT_EQ(texts.back(), "2 files extracted successfully");
  EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(readFile(dir / "out/z.txt"), "zulu");
  for (const testsupport::BoxRecord& b : ui.boxes) {
    if (b.text != texts.back()) { EXPECT_NE(b.kind, MsgKind::Information) << b.text; }
  }
}

TEST_F(MfeTest, CancelStopsTheArchiveBeingExtractedSkipsTheRestAndClosesTheWindow) {
  const std::string big(24 << 20, 'b');
  struct Case {
    const char* name;
    std::string archive;
  };
  const std::vector<Case> cases = {
      {"zip", writeZip("big.zip", {{"big.bin", big}, {"after.txt", "x"}})},
      {"rar", dir.write("big.rar", rartest::rar5({rartest::file("big.bin", big), rartest::file("after.txt", "x")}))}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string later = writeZip(std::string("later_") + c.name + ".zip", kThree);
    TF_MFE w;
    add(w, {c.archive}, dir / (std::string("first_") + c.name));
    add(w, {later}, dir / (std::string("second_") + c.name));
    bool clicked = false;
    platform::setPumpHook([&] {
      if (!clicked && w.ProgressBar1->value() > w.ProgressBar1->minimum() + 1) {
        clicked = true;
        w.bu_Close->click();
      }
    });
    w.BitBtn1Click();
    platform::setPumpHook(nullptr);
    ASSERT_TRUE(clicked) << "the extraction showed progress";
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
    EXPECT_EQ(w.result(), QDialog::Rejected);
    EXPECT_FALSE(w.Running());
    // Neither the big file nor a temporary of it, and the next row never started.
    const std::string first = dir / (std::string("first_") + c.name);
    EXPECT_TRUE(!fs::exists(first) || fs::is_empty(first));
    EXPECT_FALSE(fs::exists(dir / (std::string("second_") + c.name)));
  }
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(MfeTest, StartingWithNothingAddedReportsTheEmptyRowAndCountsNothing) {
  TF_MFE w;
  EXPECT_EQ(rows(w), (std::vector<QStringList>{{"Filename", "Path"}, {"", ""}}));
  EXPECT_EQ(w.gr_Files->ColWidths(0), 150);
  EXPECT_EQ(w.gr_Files->ColWidths(1), 340);
  EXPECT_EQ(w.ed_Defdir->text(), QStringLiteral("Please, enter your default directory here"));
  ui.acceptInformationBoxes(true);
  w.BitBtn1Click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"File not found: ", "0 files extracted successfully"}));
  EXPECT_EQ(ui.boxes[0].kind, MsgKind::Error);
}

TEST_F(MfeTest, TheWorkListAddsRemovesAndAddsAgainWithoutLosingRows) {
  const std::string a = writeZip("a.zip", kThree);
  TF_MFE w;
  // The same archive twice, with two folders: extracted twice.
  add(w, {a}, dir / "x");
  add(w, {a}, dir / "y");
  // A later activation (after a message box, say) keeps the list.
  w.FormActivate();
  ASSERT_EQ(w.gr_Files->RowCount(), 3);
  ui.answerMessage(kBtnOk);
  w.BitBtn1Click();
  EXPECT_EQ(ui.boxTexts().back(), "2 files extracted successfully");
  EXPECT_EQ(readFile(dir / "x/c.txt"), "charlie");
  EXPECT_EQ(readFile(dir / "y/c.txt"), "charlie");
  // Remove every row, then add again: the new row follows the titles.
  w.gr_Files->setSelection({0, 1, 1, 2});
  w.bu_Delete->click();
  EXPECT_EQ(rows(w), (std::vector<QStringList>{{"Filename", "Path"}}));
  add(w, {a}, dir / "z");
  EXPECT_EQ(rows(w), (std::vector<QStringList>{{"Filename", "Path"}, {widgets::qs(a), widgets::qs(dir / "z")}}));
  // A fresh list whose empty row was removed before anything was added keeps its titles.
  TF_MFE fresh;
  fresh.gr_Files->setSelection({0, 1, 1, 1});
  fresh.bu_Delete->click();
  add(fresh, {a}, dir / "w");
  EXPECT_EQ(rows(fresh), (std::vector<QStringList>{{"Filename", "Path"}, {widgets::qs(a), widgets::qs(dir / "w")}}));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(MfeTest, RelativeFoldersMeanTheWorkingFolderForEveryRowAndItIsNotChanged) {
  const std::string a = writeZip("a.zip", kThree);
  const std::string b = writeZip("b.zip", {{"b.txt", "second"}});
  const fs::path before = fs::current_path();
  fs::current_path(dir.path());
  TF_MFE w;
  add(w, {a, b}, "out");
  ui.answerMessage(kBtnOk);
  w.BitBtn1Click();
  const fs::path after = fs::current_path();
  fs::current_path(before);
  EXPECT_EQ(after, fs::path(dir.path()));
  EXPECT_EQ(readFile(dir / "out/a.txt"), "alpha");
  EXPECT_EQ(readFile(dir / "out/b.txt"), "second") << "not inside the first row's folder";
  EXPECT_FALSE(fs::exists(dir / "out/out"));
}

TEST_F(MfeTest, AFolderThatCannotBeMadeEndsTheRun) {
  const std::string a = writeZip("a.zip", kThree);
  TF_MFE w;
  add(w, {a}, dir / "missing/deeper");  // only the last level is made
  add(w, {a}, dir / "fine");
  ui.answerMessage(kBtnOk);
  w.BitBtn1Click();
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Cannot create directory " + (dir / "missing/deeper") +
                                                     ": No such file or directory"}));
  EXPECT_FALSE(fs::exists(dir / "fine"));
  EXPECT_TRUE(w.ProgressBar1->isHidden());
  EXPECT_FALSE(w.Running());
}

// Encrypted entries ask as in the main window: one hidden prompt, for RAR and ZIP
// alike, and the password that fitted opens the next entry of a ZIP archive.
TEST_F(MfeTest, EncryptedEntriesAskForThePasswordAsInTheMainWindow) {
  if (!testsupport::haveProgram("zip")) GTEST_FAIL() << "zip is not installed (./test.sh installs the peers)";
  // Made by the real archiver: foo.txt and bar.txt, 16 bytes each, both encrypted.
  const std::string locked = copyOf(sample("test_read_format_rar_encryption_data.rar"), dir / "locked.rar");
  dir.write("src/secret.txt", "zip secret\n");
  dir.write("src/second.txt", "second secret\n");
  ASSERT_EQ(testsupport::shell("cd '" + dir / "src" + "' && zip -q -P pw4zip ../locked.zip secret.txt second.txt"), 0);
  TF_MFE w;
  add(w, {locked, dir / "locked.zip"}, dir / "out");
  ui.answerInput("12345678").answerInput("12345678").answerInput("pw4zip").answerMessage(kBtnOk);
  w.BitBtn1Click();
  EXPECT_EQ(ui.inputs, (std::vector<std::string>(3, "Password required|Password:")));
  EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"2 files extracted successfully"}));
  EXPECT_EQ(fs::file_size(dir / "out/foo.txt"), 16u);
  EXPECT_EQ(fs::file_size(dir / "out/bar.txt"), 16u);
  EXPECT_EQ(readFile(dir / "out/secret.txt"), "zip secret\n");
  EXPECT_EQ(readFile(dir / "out/second.txt"), "second secret\n");
  EXPECT_TRUE(ui.unexpected.empty()) << ::testing::PrintToString(ui.unexpected);
}

TEST_F(MfeTest, TheMainWindowsMenuOpensTheWindowWithItsOwnEngine) {
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(writeZip("open.zip", kThree)));
  const std::string other = writeZip("other.zip", {{"o.txt", "other"}});
  QString banner;
  ui.onModal([&](platform::ModalWindow& m) {
    auto& w = static_cast<TF_MFE&>(static_cast<widgets::DialogWindow&>(m).dialog());
    banner = w.Panel8->text();
    add(w, {other}, dir / "out");
    ui.answerMessage(kBtnOk);
    w.BitBtn1Click();
    w.bu_Close->click();
    return w.result();
  });
  f->Action("MultipleFileExtracting1")->trigger();
  EXPECT_EQ(ui.modalWindows, (std::vector<std::string>{"TF_MFE"}));
  EXPECT_EQ(banner, QStringLiteral("Multiple File Extracting"));
  EXPECT_EQ(readFile(dir / "out/o.txt"), "other");
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "open.zip") << "the main window's archive stays open";
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_TRUE(ui.unexpected.empty());
}

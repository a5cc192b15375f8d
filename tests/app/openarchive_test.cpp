// Changing the archive the window works on: a failed or missing open leaves the
// open archive as it was, every change refreshes both status lines and forgets
// whether the previous archive was changed, typed names become full paths, Save as
// never replaces a file unasked, and the self-extracting rebuild writes through a
// temporary that nobody else can have placed.
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QShowEvent>
#include <filesystem>

#include "app/app_fixture.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "rarlib/rar_builder.h"
#include "widgets/sortgrid.h"

namespace fs = std::filesystem;

namespace {

const std::vector<ziptest::Entry> kTwo = {{"x.txt", "xx"}, {"y.txt", "yyy"}};

QString title(const std::string& archive) { return QString::fromStdString("Kelvory '99 - " + archive); }

}  // namespace

using OpenArchiveTest = AppTest;

TEST_F(OpenArchiveTest, EveryChangeOfTheArchiveRefreshesBothStatusLines) {
  const std::string a = writeZip("a.zip", kThree), b = writeZip("b.zip", kTwo);
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(a));
  f->SelectAll2Click();
  ASSERT_EQ(f->Panel3->text(), QStringLiteral("Selected 3 files,  18 Bytes"));
  // Another archive: its totals, and no selection line of the one before.
  ASSERT_TRUE(f->OpenArchive(b));
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 2 files,  5 Bytes"));
  EXPECT_EQ(f->Panel3->text(), QString());
  f->SelectAll2Click();
  f->Closearchive1Click();
  EXPECT_EQ(f->Panel3->text(), QString());
  EXPECT_EQ(f->Panel4->text(), QString());
  // Deleting the open archive leaves nothing open and nothing described.
  ASSERT_TRUE(f->OpenArchive(b));
  f->SelectAll2Click();
  ui.answerMessage(kBtnYes);
  f->Delete2Click();
  EXPECT_FALSE(platform::fileExists(b));
  EXPECT_EQ(f->Panel3->text(), QString());
  EXPECT_EQ(f->Panel4->text(), QString());
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
  EXPECT_FALSE(f->Action("Add1")->isEnabled());
  // An empty archive shows its (empty) totals rather than the last ones.
  ASSERT_TRUE(f->OpenArchive(a));
  ASSERT_TRUE(f->OpenArchive(writeZip("empty.zip", {})));
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 0 files,  0 Bytes"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(OpenArchiveTest, AFailedOpenLeavesTheOpenArchiveAsItWas) {
  const std::string a = writeZip("a.zip", kThree);
  const std::string junk = dir.write("damaged.zip", std::string(500, 'j'));
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(a));
  const QString totals = f->Panel4->text();
  ui.answerOpenFile(junk).answerMessage(kBtnOk);
  f->BU_OpenClick();
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "This archive is not a valid Zip archive");
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), a);
  EXPECT_EQ(f->windowTitle(), title(a));
  EXPECT_EQ(f->StringGrid1->RowCount(), 4);
  EXPECT_EQ(f->Panel4->text(), totals);
  EXPECT_TRUE(f->Action("Extract1")->isEnabled());
  EXPECT_EQ(platform::ini::readString(ini(), "RECENT", "0", ""), a);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(OpenArchiveTest, ARarFileThatCannotBeReadLeavesTheOpenArchiveAsItWas) {
  const std::string a = writeZip("a.zip", kThree);
  const std::string r = dir.write("good.rar", rartest::rar5({rartest::file("r.txt", "rar!")}));
  const std::string junk = dir.write("junk.rar", std::string(600, 'j'));
  auto f = make();
  for (const std::string& open : {a, r}) {
    SCOPED_TRACE(open);
    ASSERT_TRUE(f->OpenArchive(open));
    const QString totals = f->Panel4->text();
    const int rows = f->StringGrid1->RowCount();
    const bool rar = f->RarMode;
    ui.answerMessage(kBtnOk);
    EXPECT_FALSE(f->OpenArchive(junk));
    EXPECT_EQ(ui.boxes.size(), 1u) << "the reader says why";
    ui.boxes.clear();
    EXPECT_EQ(f->OpenArchiveName(), open);
    EXPECT_EQ(f->RarMode, rar);
    EXPECT_EQ(f->windowTitle(), title(open));
    EXPECT_EQ(f->StringGrid1->RowCount(), rows);
    EXPECT_EQ(f->Panel4->text(), totals);
    EXPECT_TRUE(f->Action("Extract1")->isEnabled());
    EXPECT_EQ(f->Action("Add1")->isEnabled(), !rar);
    EXPECT_EQ(platform::ini::readString(ini(), "RECENT", "0", ""), open);
  }
  // With nothing open before, nothing is open after.
  f->Closearchive1Click();
  ui.answerMessage(kBtnOk);
  EXPECT_FALSE(f->OpenArchive(junk));
  EXPECT_EQ(f->OpenArchiveName(), "");
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_FALSE(f->Action("Extract1")->isEnabled());
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(OpenArchiveTest, AFailedOpenShowsNothingOpenWhenTheOldArchiveIsDamagedToo) {
  const std::string a = writeZip("a.zip", kThree);
  const std::string junk = dir.write("damaged.zip", std::string(500, 'j'));
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(a));
  f->SelectAll2Click();
  // Overwritten by another program while it was open.
  dir.write("a.zip", std::string(300, 'k'));
  ui.answerMessage(kBtnOk).answerMessage(kBtnOk);
  EXPECT_FALSE(f->OpenArchive(junk));
  EXPECT_EQ(ui.boxes.size(), 2u);
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  EXPECT_FALSE(f->Action("Extract1")->isEnabled());
  EXPECT_EQ(f->Panel3->text(), QString());
  EXPECT_EQ(f->Panel4->text(), QString());
  EXPECT_EQ(f->StringGrid1->Cells(0, 1), QString());
  EXPECT_EQ(f->StringGrid1->Cells(0, 0), QStringLiteral("Filename"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(OpenArchiveTest, MissingRecentArchiveIsReportedAndMayBeDropped) {
  const std::string a = writeZip("a.zip", kThree);
  const std::string gone = dir / "gone.zip";
  platform::ini::writeString(ini(), "RECENT", "0", gone);
  platform::ini::writeString(ini(), "RECENT", "1", a);
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(a));  // now 0=a, 1=gone
  const std::string prompt = "Archive not found: " + gone + "\nRemove it from the list of recent archives?";
  ui.answerMessage(kBtnNo);
  f->RecentClick(f->Action("Fil1"));
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, prompt);
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), a);
  EXPECT_EQ(f->windowTitle(), title(a));
  EXPECT_EQ(f->StringGrid1->RowCount(), 4);
  EXPECT_EQ(platform::ini::readSection(ini(), "RECENT"), (std::vector<std::string>{"0=" + a, "1=" + gone}));
  ui.answerMessage(kBtnYes);
  f->RecentClick(f->Action("Fil1"));
  EXPECT_EQ(platform::ini::readSection(ini(), "RECENT"), std::vector<std::string>{"0=" + a});
  EXPECT_EQ(f->Action("Fil1"), nullptr);
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), a);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(OpenArchiveTest, CommandLineArchiveOpensWhenTheWindowIsFirstShown) {
  const std::string a = writeZip("a.zip", kThree);
  auto f = make({QString::fromStdString(a)});
  // A window manager that never activates the window: it is only shown.
  QShowEvent show;
  QApplication::sendEvent(f.get(), &show);
  QApplication::processEvents();
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), a);
  EXPECT_EQ(f->StringGrid1->RowCount(), 4);
  EXPECT_EQ(f->windowTitle(), title(a));
  // The activation that may follow acts no more.
  f->Closearchive1Click();
  f->FormActivate();
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
}

TEST_F(OpenArchiveTest, TypedArchiveNameGoesToTheFolderOfTheDefaultName) {
  fs::create_directories(dir / "archives");
  const std::string file = dir.write("in/a.txt", "A");
  auto f = make({QString::fromStdString(file)});
  settings.ed_Zipname = dir / "archives/Noname.zip";
  settings.cb_AskzipName = true;
  ui.answerInput("cltest");  // the Add dialog that follows is left unanswered
  f->FormActivate();
  const std::string expected = dir / "archives/cltest.ZIP";
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), expected);
  EXPECT_EQ(f->windowTitle(), title(expected));
  f->Closearchive1Click();
  EXPECT_EQ(platform::ini::readString(ini(), "RECENT", "0", ""), expected);
}

TEST_F(OpenArchiveTest, SaveAsAsksBeforeReplacingWhateverExtensionIsAdded) {
  const std::string a = writeZip("a.zip", kThree);
  const std::string victim = dir.write("victim.ZIP", "precious");
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(a));
  ui.answerSaveFile(dir / "victim").answerMessage(kBtnNo);
  f->Savearchiveas1Click();
  EXPECT_FALSE(ui.fileDialogs.back().confirmOverwrite) << "one question, about the name really written";
  ASSERT_FALSE(ui.boxes.empty());
  EXPECT_EQ(ui.boxes.back().text, "Overwrite Existing File: " + victim + "?");
  EXPECT_EQ(readFile(victim), "precious");
  EXPECT_EQ(f->windowTitle(), title(a));
  ui.answerSaveFile(dir / "victim").answerMessage(kBtnYes);
  f->Savearchiveas1Click();
  EXPECT_EQ(readFile(victim), readFile(a));
  EXPECT_EQ(f->windowTitle(), title(victim));
  // A new name is written without a question.
  ui.answerSaveFile(dir / "fresh");
  f->Savearchiveas1Click();
  EXPECT_EQ(readFile(dir / "fresh.ZIP"), readFile(a));
  EXPECT_TRUE(ui.unexpected.empty());
}

class SfxRebuildTest : public AppTest {
 protected:
  SfxRebuildTest() {
    dir.write("kelvory.dat", std::string(5000, 'N'));
    ui.acceptInformationBoxes(true);
  }
  std::string program(const std::string& name) { return writeZip(name, kThree, std::string(3000, 'O')); }
  // Deletes the first listed file through the Delete command (the real libraries).
  void deleteFirst(TMainform& f) {
    f.StringGrid1->setSelection(TGridRect{0, 1, 4, 1});
    ui.answerMessage(kBtnYes);
    f.BU_DeleteFileClick();
    ASSERT_TRUE(f.ArchiveChanged);
  }
  static bool hasNewStub(const std::string& path) { return readFile(path).substr(0, 5000) == std::string(5000, 'N'); }
};

TEST_F(SfxRebuildTest, OnlyTheProgramThatChangedIsRebuilt) {
  const std::string one = program("one.exe"), two = program("two.exe"), zip = writeZip("plain.zip", kTwo);
  const std::string twoBefore = readFile(two);
  platform::ini::writeString(ini(), "RECENT", "0", two);
  auto f = make();
  ASSERT_TRUE(f->OpenArchive(one));
  deleteFirst(*f);
  // Leaving it through the recent list rebuilds it, as leaving it through Open does.
  f->RecentClick(f->Action("Fil1"));
  ASSERT_EQ(f->ZipEngine1.ZipFilename(), two);
  EXPECT_FALSE(f->ArchiveChanged);
  EXPECT_TRUE(hasNewStub(one));
  ASSERT_TRUE(f->OpenArchive(zip));
  EXPECT_EQ(readFile(two), twoBefore) << "the second program was never changed";
  // Closing forgets the change too: the next program opened is not rebuilt.
  ASSERT_TRUE(f->OpenArchive(one));
  deleteFirst(*f);
  f->Closearchive1Click();
  EXPECT_FALSE(f->ArchiveChanged);
  ASSERT_TRUE(f->OpenArchive(two));
  ASSERT_TRUE(f->OpenArchive(zip));
  EXPECT_EQ(readFile(two), twoBefore);
}

TEST_F(SfxRebuildTest, RebuildNeverWritesThroughAPlantedLink) {
  const std::string sfx = program("app.exe");
  const std::string victim = dir.write("victim.txt", "do not touch");
  // Links at the names a rebuild might once have used.
  for (const char* planted : {".app.exe.rebuild", ".app.exe.tmp", ".app.exe.kvtmp"})
    ASSERT_EQ(::symlink(victim.c_str(), (dir / planted).c_str()), 0);
  ::chmod(sfx.c_str(), 0750);
  auto f = make();
  f->ZipEngine1.setZipFilename(sfx);
  f->ArchiveChanged = true;
  f->RebuildSfx();
  EXPECT_EQ(readFile(victim), "do not touch");
  struct stat st {};
  ASSERT_EQ(::lstat(sfx.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode)) << "the program is a file of its own, not a link";
  EXPECT_EQ(st.st_mode & 0777, 0750u) << "the program keeps its permissions";
  EXPECT_TRUE(hasNewStub(sfx));
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_EQ(e.path().filename().string().find(".kvtmp-"), std::string::npos) << e.path() << " was left behind";
}

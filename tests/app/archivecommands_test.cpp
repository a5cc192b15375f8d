// Add, extract, delete and test from the main window with the real libraries: the
// dialogs' choices reach the engine, the progress bar follows the files, Cancel
// stops the work without a count message, and dropped or command-line files end up
// in the archive.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <filesystem>

#include "app/app_fixture.h"
#include "dialogs/addform.h"
#include "dialogs/dialog_globals.h"
#include "dialogs/extract.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> boxTexts(const testsupport::ScriptedUi& ui) { return ui.boxTexts(); }

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

}  // namespace

class CommandsTest : public AppTest {
 protected:
  CommandsTest() { ui.acceptInformationBoxes(true); }
};

TEST_F(CommandsTest, ExtractAllFilesWithoutSelection) {
  auto f = openWith(kThree);
  std::string out = dir / "out";
  fs::create_directories(out);
  ui.onModal(extractTo(out));
  f->BU_ExtractClick();
  EXPECT_EQ(readFile(out + "/a.txt"), "alpha");
  EXPECT_EQ(readFile(out + "/dir/b.txt"), "bravo!");
  EXPECT_EQ(readFile(out + "/c.txt"), "charlie");
  EXPECT_TRUE(contains(boxTexts(ui), "3 file(s) were extracted"));
  EXPECT_EQ(platform::ini::readString(ini(), "FOLDERS", "LASTE", ""), out);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(CommandsTest, ExtractSelectedFilesOnly) {
  auto f = openWith(kThree);
  std::string out = dir / "sel";
  fs::create_directories(out);
  f->StringGrid1->SortByColumn(0, TSortOptions{});  // the rows' order no longer matches the archive
  int b = -1;
  for (int r = 1; r < f->StringGrid1->RowCount(); ++r)
    if (f->StringGrid1->Cells(0, r) == QStringLiteral("b.txt")) b = r;
  f->StringGrid1->setSelection(TGridRect{0, b, 4, b});
  ui.onModal(extractTo(out, 1));
  f->BU_ExtractClick();
  EXPECT_TRUE(platform::fileExists(out + "/dir/b.txt"));
  EXPECT_FALSE(platform::fileExists(out + "/a.txt"));
  EXPECT_TRUE(contains(boxTexts(ui), "1 file(s) were extracted"));
}

TEST_F(CommandsTest, ExtractDialogPreselectsByTheSelection) {
  auto f = openWith(kThree);
  int seen = -1;
  auto cancel = [&](platform::ModalWindow& w) {
    auto& d = dialogOf<TExtract>(w);
    seen = d.FilesToExtract();
    d.BitBtn2Click();
    return 0;
  };
  f->StringGrid1->setSelection(TGridRect{0, 1, 4, 1});
  ui.onModal(cancel);
  f->BU_ExtractClick();
  EXPECT_EQ(seen, 0) << "one row: All Files";
  f->StringGrid1->setSelection(TGridRect{0, 1, 4, 3});
  ui.onModal(cancel);
  f->BU_ExtractClick();
  EXPECT_EQ(seen, 1) << "three rows: Selected Files";
  EXPECT_TRUE(ui.boxes.empty()) << "a cancelled dialog does nothing";
}

TEST_F(CommandsTest, ProgressBarCountsBlocksOfTheCurrentFile) {
  auto f = make();
  f->ZipEngine1Progress(ptFileBegin, "dir/small.txt", 10000);
  EXPECT_EQ(f->ProgressBar1->maximum(), 1);
  EXPECT_EQ(f->ProgressSteps, 1) << "a file under 32 KiB steps once at its start";
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("small.txt"));
  f->ZipEngine1Progress(ptFileProgress, "", 10000);
  EXPECT_EQ(f->ProgressSteps, 1);
  f->ZipEngine1Progress(ptFileBegin, "big.bin", 100000);
  EXPECT_EQ(f->ProgressBar1->maximum(), 3);
  EXPECT_EQ(f->ProgressSteps, 0);
  for (int i = 0; i < 10; ++i) f->ZipEngine1Progress(ptFileProgress, "", 32768);
  EXPECT_EQ(f->ProgressBar1->value(), 3);
  EXPECT_EQ(f->ProgressSteps, 2) << "never past the maximum";
  f->ZipEngine1Progress(ptBatchEnd, "", 0);
  EXPECT_EQ(f->ProgressBar1->minimum(), 1);
  EXPECT_EQ(f->ProgressBar1->maximum(), 10);
  EXPECT_EQ(f->ProgressBar1->value(), 1);
  // While the files to add are looked for, the count found so far.
  f->ZipEngine1Progress(ptCollecting, "src/many", 1536);
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Looking for files: 1536 found"));
}

TEST_F(CommandsTest, CancelDuringExtractionShowsNoCount) {
  std::vector<ziptest::Entry> many;
  for (int i = 0; i < 40; ++i) many.emplace_back("f" + std::to_string(i) + ".bin", std::string(200000, 'a' + i % 26));
  auto f = openWith(many);
  std::string out = dir / "out";
  fs::create_directories(out);
  bool sawRequest = false;
  int pumps = 0;
  platform::setPumpHook([&] {
    if (++pumps == 2 && !f->CancelBut->isHidden()) {
      f->CancelButClick();  // the user presses Cancel during the work
      sawRequest = f->ZipEngine1.CancelRequested;
    }
  });
  ui.onModal(extractTo(out));
  f->BU_ExtractClick();
  platform::setPumpHook(nullptr);
  EXPECT_TRUE(sawRequest);
  for (const auto& t : boxTexts(ui)) EXPECT_EQ(t.find("were extracted"), std::string::npos) << t;
  int written = 0;
  for (auto& e : fs::directory_iterator(out)) written += e.is_regular_file();
  EXPECT_LT(written, 40);
  EXPECT_TRUE(f->CancelBut->isHidden());
}

TEST_F(CommandsTest, TestReportsGoodAndBadArchives) {
  auto f = openWith(kThree);
  f->Test1Click();
  EXPECT_TRUE(contains(boxTexts(ui), "All 3 files tested OK"));
  EXPECT_EQ(f->Panel3->text().left(14), QStringLiteral("Time elapsed: "));
  // One entry's data damaged: the CRC no longer matches.
  std::string bad = ziptest::build(kThree).all();
  bad[30 + 5] ^= 0x55;  // first byte of a.txt's data
  std::string path = dir.write("bad.zip", bad);
  f->OpenArchive(path);
  ui.boxes.clear();
  f->Test1Click();
  EXPECT_TRUE(contains(boxTexts(ui), "ERROR: 1 files tested BAD, or skipped!"))
      << ::testing::PrintToString(boxTexts(ui));
  // Folder entries are tested as well; the message names them apart from the files
  // the listing shows.
  f->OpenArchive(writeZip("withdir.zip", {{"d/", ""}, {"d/x.txt", "x"}, {"d/e/", ""}, {"y.txt", "y"}}));
  ui.boxes.clear();
  f->Test1Click();
  EXPECT_EQ(boxTexts(ui), std::vector<std::string>{"All 2 files and 2 folders tested OK"});
}

TEST_F(CommandsTest, ExtractCountsFilesAsTheListingDoes) {
  auto f = openWith({{"d/", ""}, {"d/x.txt", "x"}, {"d/e/", ""}, {"d/e/z.txt", "z"}, {"y.txt", "y"}});
  ASSERT_EQ(f->ListedFiles, 3);
  std::string out = dir / "out";
  fs::create_directories(out);
  ui.onModal(extractTo(out));
  f->BU_ExtractClick();
  EXPECT_EQ(boxTexts(ui), std::vector<std::string>{"3 file(s) were extracted"});
  EXPECT_EQ(readFile(out + "/d/e/z.txt"), "z");
}

TEST_F(CommandsTest, DeleteAsksAndRefreshesTheListing) {
  auto f = openWith(kThree);
  f->StringGrid1->setSelection(TGridRect{0, 1, 4, 1});
  std::string victim = widgets::ss(f->StringGrid1->Cells(0, 1));
  ui.answerMessage(kBtnNo);
  f->BU_DeleteFileClick();
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  ui.answerMessage(kBtnYes);
  f->BU_DeleteFileClick();
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 2);
  EXPECT_EQ(f->StringGrid1->RowCount(), 3);
  for (int r = 1; r < 3; ++r) EXPECT_NE(widgets::ss(f->StringGrid1->Cells(0, r)), victim);
  EXPECT_TRUE(contains(boxTexts(ui), "1 file(s) were Deleted"));
  EXPECT_EQ(ui.boxes[1].text, "Delete selected files from: " + f->ZipEngine1.ZipFilename() + "?");
}

// A selected name holding "?" or "*" names that entry only, never the entries it
// would match as a pattern.
TEST_F(CommandsTest, SelectedNamesWithWildcardCharactersChooseOnlyThemselves) {
  auto f = openWith({{"a?b.txt", "question"}, {"axb.txt", "x"}, {"a*.txt", "star"}});
  auto rowOf = [&](const char* name) {
    for (int r = 1; r < f->StringGrid1->RowCount(); ++r)
      if (widgets::ss(f->StringGrid1->Cells(0, r)) == name) return r;
    return -1;
  };
  const int star = rowOf("a*.txt");
  f->StringGrid1->setSelection(TGridRect{0, star, 4, star});
  std::string out = dir / "out";
  fs::create_directories(out);
  ui.onModal(extractTo(out, 1));
  f->BU_ExtractClick();
  EXPECT_EQ(readFile(out + "/a*.txt"), "star");
  EXPECT_FALSE(platform::fileExists(out + "/axb.txt"));

  const int question = rowOf("a?b.txt");
  f->StringGrid1->setSelection(TGridRect{0, question, 4, question});
  ui.answerMessage(kBtnYes);
  f->BU_DeleteFileClick();
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 2);
  EXPECT_NE(rowOf("axb.txt"), -1);
  EXPECT_TRUE(contains(boxTexts(ui), "1 file(s) were Deleted"));
}

TEST_F(CommandsTest, AddWithMoveDeletesTheSourcesAfterTheArchiveIsWritten) {
  std::string src = dir / "src";
  dir.write("src/one.txt", "first file");
  dir.write("src/two.txt", "second file");
  auto f = make();
  ui.answerOpenFile(dir / "new.zip");
  f->AfterNewArchive = nullptr;
  f->BU_NewClick();
  ui.onModal(addAllFrom(src, true));
  f->BU_AddClick();
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 2);
  EXPECT_FALSE(platform::fileExists(src + "/one.txt"));
  EXPECT_FALSE(platform::fileExists(src + "/two.txt"));
  // The data are in the archive: extract them again.
  std::string out = dir / "back";
  fs::create_directories(out);
  ui.onModal(extractTo(out, 0));
  f->BU_ExtractClick();
  int found = 0;
  for (auto& e : fs::recursive_directory_iterator(out))
    if (e.is_regular_file()) found += readFile(e.path()) == "first file" || readFile(e.path()) == "second file";
  EXPECT_EQ(found, 2);
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(CommandsTest, FailedAddKeepsTheSources) {
  dir.write("src/keep.txt", "keep me");
  auto f = make();
  f->ZipEngine1.setZipFilename(dir / "no/such/folder/x.zip");
  f->SetArchiveCommands(true);
  ui.onModal(addAllFrom(dir / "src", true));
  f->BU_AddClick();
  EXPECT_EQ(readFile(dir / "src/keep.txt"), "keep me");
}

TEST_F(CommandsTest, AddCancelledOrEmptyDoesNothing) {
  auto f = openWith(kThree);
  ui.onModal([](platform::ModalWindow& w) {
    dialogOf<TAddForm>(w).BitBtn2Click();
    return 0;
  });
  f->BU_AddClick();
  ui.onModal([](platform::ModalWindow& w) {
    dialogOf<TAddForm>(w).BitBtn1Click();
    return 1;
  });
  f->BU_AddClick();
  EXPECT_EQ(boxTexts(ui), std::vector<std::string>{"No files selected!"});
  EXPECT_EQ(f->Tag, 0);
}

TEST_F(CommandsTest, DroppedArchiveWithTwoDotsIsAddedAsAFile) {
  auto f = openWith(kThree);
  std::string dropped = writeZip("my.backup.zip", {{"inner.txt", "x"}});
  f->DropFilesOnWindow({QString::fromStdString(dropped)});
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 4);
  EXPECT_TRUE(contains(boxTexts(ui), "1 files were added"));
  for (const auto& b : ui.boxes) EXPECT_EQ(b.kind == platform::MsgKind::Confirmation, false) << b.text;
}

TEST_F(CommandsTest, DroppedZipAsksWhatToDo) {
  auto f = openWith(kThree);
  std::string other = writeZip("other.zip", {{"o.txt", "o"}});
  ui.answerMessage(platform::kBtnAbort);
  f->DropFilesOnWindow({QString::fromStdString(other)});
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  EXPECT_EQ(ui.boxes.back().text, "What do you like to do: Open Zipfile(Yes), Add Zipfile(No), Abort(Abort)");
  ui.answerMessage(kBtnYes);
  f->DropFilesOnWindow({QString::fromStdString(other)});
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), other);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 1);
}

TEST_F(CommandsTest, DropsLeaveStatusLinesThatDescribeTheOpenArchive) {
  auto f = openWith(kThree);
  ASSERT_EQ(f->Panel4->text(), QStringLiteral("Total 3 files,  18 Bytes"));
  // Files added at once: the totals of the archive as it now is.
  f->DropFilesOnWindow({QString::fromStdString(dir.write("d1.txt", "one"))});
  ASSERT_EQ(f->ZipEngine1.EntryCount(), 4);
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 4 files,  21 Bytes"));
  EXPECT_EQ(f->Panel3->text(), QString());
  // A dropped archive that does not open names nothing in the lines.
  const std::string junk = dir.write("junk.zip", std::string(400, 'j'));
  ui.answerMessage(kBtnYes).answerMessage(kBtnOk);
  f->DropFilesOnWindow({QString::fromStdString(junk)});
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 4);
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 4 files,  21 Bytes"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(CommandsTest, DropWithoutArchiveUsesTheConfiguredName) {
  dir.write("d1.txt", "one");
  auto f = make();
  settings.cb_AskzipName = false;
  settings.ed_Zipname = dir / "dropped.zip";
  f->DropFilesOnWindow({QString::fromStdString(dir / "d1.txt")});
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "dropped.zip");
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 1);
}

TEST_F(CommandsTest, DropWithATypedNameNamesTheArchiveAsTheCommandLineDoes) {
  const std::string dropped = dir.write("d1.txt", "one");
  fs::create_directories(dir / "archives");
  auto f = make();
  settings.cb_AskzipName = true;  // after the window read the settings file
  settings.ed_Zipname = dir / "archives/Noname.zip";
  // An empty answer makes no archive.
  ui.answerInput("");
  f->DropFilesOnWindow({QString::fromStdString(dropped)});
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
  EXPECT_EQ(readFile(dropped), "one");
  // A bare name gets the extension, beside the default archive.
  ui.answerInput("dropped");
  f->DropFilesOnWindow({QString::fromStdString(dropped)});
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "archives/dropped.ZIP");
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 1);
  EXPECT_EQ(ui.inputs, (std::vector<std::string>{"Zipfile|Name:", "Zipfile|Name:"}));
  // A name that says zip is kept as typed.
  f->Closearchive1Click();
  ui.answerInput("Mine.zip");
  f->DropFilesOnWindow({QString::fromStdString(dropped)});
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "archives/Mine.zip");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(CommandsTest, CommandLineFilesOpenTheAddDialogWithAllOfThem) {
  std::string a = dir.write("in/a.txt", "A"), b = dir.write("in/b.txt", "B");
  auto f = make({QString::fromStdString(a), QString::fromStdString(b)});
  // The settings as the file says (read when the window was made), changed by the user.
  settings.cb_AskzipName = false;
  settings.ed_Zipname = dir / "Noname.zip";
  std::vector<std::string> listed;
  ui.onModal([&](platform::ModalWindow& w) {
    auto& d = dialogOf<TAddForm>(w);
    listed = d.SelectedNames();
    d.BitBtn1Click();
    return 1;
  });
  f->FormActivate();
  EXPECT_EQ(listed, (std::vector<std::string>{a, b}));
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), dir / "Noname.zip");
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 2);
  EXPECT_EQ(f->windowTitle(), QString::fromStdString("Kelvory '99 - " + dir / "Noname.zip"));
}

TEST_F(CommandsTest, CancelledAddLeavesTheArchiveIntact) {
  auto f = openWith(kThree, "keep.zip");
  const std::string archive = f->ZipEngine1.ZipFilename();
  const std::string before = readFile(archive);
  // Enough data that the add is still running when Cancel is pressed.
  std::string big(48 << 20, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 2654435761u) >> 13);
  dir.write("src/big.bin", big);
  int pumps = 0, afterCancel = 0;
  platform::setPumpHook([&] {
    if (f->UserCancelled) ++afterCancel;
    if (++pumps == 3 && !f->CancelBut->isHidden()) f->CancelButClick();
  });
  ui.onModal(addAllFrom(dir / "src"));
  const QString totals = f->Panel4->text();
  f->BU_AddClick();
  platform::setPumpHook(nullptr);
  EXPECT_TRUE(f->UserCancelled);
  EXPECT_LE(afterCancel, 3) << "the work stops at the next callback";
  EXPECT_EQ(readFile(archive), before);
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 3);
  // The status lines say what happened and describe the archive again.
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("Cancelled: the archive is unchanged"));
  EXPECT_EQ(f->Panel4->text(), totals);
}

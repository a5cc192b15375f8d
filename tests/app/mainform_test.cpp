// The main window's start-up, recent list and archive listing: captions, commands
// switched with the archive, the listing's cells and total lines, and the column
// layout stored only outside layout loading, and where the window first appears.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTest>

#include "app/app_fixture.h"
#include "platform/ini.h"
#include "platform/paths.h"
#include "widgets/sortgrid.h"

namespace {

using MainformTest = AppTest;

QStringList row(TSortGrid* g, int r) {
  QStringList out;
  for (int c = 0; c < g->ColCount(); ++c) out << g->Cells(c, r);
  return out;
}

}  // namespace

TEST_F(MainformTest, StartsWithoutArchive) {
  platform::ini::writeString(ini(), "RECENT", "0", "/data/one.zip");
  platform::ini::writeString(ini(), "RECENT", "1", "/data/two & three.zip");
  auto f = make();
  EXPECT_EQ(f->windowTitle(), QStringLiteral("Kelvory '99 - <none>"));
  for (const char* name : {"Add1", "Extract1", "Closearchive1", "Test2", "Searchfile2", "Install2"})
    EXPECT_FALSE(f->Action(name)->isEnabled()) << name;
  EXPECT_TRUE(f->Action("Newarchive1")->isEnabled());
  QAction* first = f->Action("Fil0");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->data().toString(), QStringLiteral("0=/data/one.zip"));
  EXPECT_EQ(f->Action("Fil1")->text(), QStringLiteral("1=/data/two && three.zip"));
  // The recent items follow a separator after "E&xit".
  QList<QAction*> items = f->FileMenu->actions();
  auto exit = std::find(items.begin(), items.end(), f->Action("Exit1"));
  ASSERT_NE(exit, items.end());
  EXPECT_EQ((*(exit + 1))->objectName(), QStringLiteral("Sepp"));
  EXPECT_EQ(*(exit + 2), first);
  // The favourites file is made empty at start.
  EXPECT_TRUE(platform::fileExists(dir / "Favorites.lst"));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(MainformTest, ZipArgumentOpensOnceAtFirstActivation) {
  std::string zip = writeZip("a.zip", {{"readme.txt", "hello"}, {"docs/", ""}, {"docs/b.txt", "abc"}});
  auto f = make({QString::fromStdString(zip)});
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty()) << "nothing happens before the window is activated";
  f->FormActivate();
  EXPECT_EQ(f->ZipEngine1.ZipFilename(), zip);
  EXPECT_EQ(f->windowTitle(), QString::fromStdString("Kelvory '99 - " + zip));
  EXPECT_TRUE(f->Action("Add1")->isEnabled());
  EXPECT_EQ(f->StringGrid1->RowCount(), 3);  // title row and two files; the folder gets no row
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 2 files,  8 Bytes"));
  // A later activation (after a dialog, say) runs nothing again.
  f->ZipEngine1.setZipFilename("");
  f->FormActivate();
  EXPECT_TRUE(f->ZipEngine1.ZipFilename().empty());
}

TEST_F(MainformTest, NonZipSingleArgumentDoesNotOpen) {
  std::string other = dir.write("notes.txt", "x");
  auto f = make({QString::fromStdString(other)});
  f->FormActivate();
  EXPECT_NE(f->ZipEngine1.ZipFilename(), other);
}

TEST_F(MainformTest, RecentListKeepsOneEntryPerArchiveAndFive) {
  auto f = make();
  f->AddRecent("/x/Backup.ZIP");
  f->AddRecent("/x/other.zip");
  f->AddRecent("/x/Backup.ZIP");
  // Names differing in letter case are two files here, each with its own line.
  f->AddRecent("/x/backup.zip");
  EXPECT_EQ(platform::ini::readSection(ini(), "RECENT"),
            (std::vector<std::string>{"0=/x/backup.zip", "1=/x/Backup.ZIP", "2=/x/other.zip"}));
  for (int i = 1; i <= 5; ++i) f->AddRecent("/x/n" + std::to_string(i) + ".zip");
  auto recent = platform::ini::readSection(ini(), "RECENT");
  ASSERT_EQ(recent.size(), 5u);
  EXPECT_EQ(recent.front(), "0=/x/n5.zip");
  EXPECT_EQ(recent.back(), "4=/x/n1.zip");  // the three older ones were pushed out
  f->BuildRecentMenu();
  EXPECT_NE(f->Action("Fil4"), nullptr);
  EXPECT_EQ(f->Action("Fil5"), nullptr);
}

TEST_F(MainformTest, RecentClickOpensTheArchive) {
  std::string zip = writeZip("r.exe", {{"a.txt", "1"}});
  platform::ini::writeString(ini(), "RECENT", "0", zip);
  auto f = make();
  f->RecentClick(f->Action("Fil0"));
  EXPECT_EQ(f->ZipEngine1.EntryCount(), 1);
  EXPECT_EQ(f->Action("MakeSelfExtractedfile1")->text(), QStringLiteral("Create &ZIP file"));
  EXPECT_EQ(f->Action("MakeEXEfile1")->text(), QStringLiteral("Create &ZIP file"));
  EXPECT_TRUE(f->Action("Extract1")->isEnabled());
}

TEST_F(MainformTest, FolderOnlyArchiveListsNothing) {
  auto f = make();
  f->ZipEngine1.setZipFilename(writeZip("d.zip", {{"top/", ""}, {"top/sub/", ""}}));
  EXPECT_EQ(f->ListedFiles, 0);
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 0 files,  0 Bytes"));
  EXPECT_EQ(f->StringGrid1->RowCount(), 1);
}

TEST_F(MainformTest, CellsOfTheListing) {
  auto f = make();
  settings.ColumnDefs = {"1=Filename;True;80",  "2=Packed;True;84", "3=Size;True;84",
                         "4=Modified;True;100", "5=Path;True;100",  "6=Ratio;True;30"};
  f->ApplyColumnLayout();
  ziptest::Entry full("dir/sub/full.bin", std::string(1000, 'x'));
  ziptest::Entry empty("empty.txt", "");
  ziptest::Entry baddate("bad.txt", "abc");
  baddate.date = 0x0000;  // month 0: no such date
  f->ZipEngine1.setZipFilename(writeZip("c.zip", {full, empty, baddate}));
  ASSERT_EQ(f->StringGrid1->RowCount(), 4);
  EXPECT_EQ(row(f->StringGrid1, 1), (QStringList{"full.bin", "1000", "1000", "2024/03/15 10:20", "dir/sub", "100%"}));
  EXPECT_EQ(row(f->StringGrid1, 2).at(5), QStringLiteral("0%"));
  EXPECT_EQ(row(f->StringGrid1, 3), (QStringList{"bad.txt", "3", "3", "Unknown", "", "100%"}));
  // Commands get the stored names, also after a sort by another column.
  f->StringGrid1->SortByColumn(0, TSortOptions{});
  f->StringGrid1->setSelection(TGridRect{0, 1, 5, 3});
  auto names = f->SelectedNames();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"bad.txt", "dir/sub/full.bin", "empty.txt"}));
}

TEST_F(MainformTest, DateFormatsOfTheSettings) {
  auto f = make();
  settings.co_DateFormat = "dd/mm/yy";
  settings.co_Timeformat = "hh:mm:ss";
  f->ZipEngine1.setZipFilename(writeZip("t.zip", {{"a.txt", "1"}}));
  EXPECT_EQ(f->StringGrid1->Cells(f->ColumnOf("Modified"), 1), QStringLiteral("15/03/24 10:20:34"));
}

TEST_F(MainformTest, TotalLines) {
  auto f = make();
  f->ListedFiles = 3;
  f->ListedBytes = 999;
  f->ShowTotals();
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 3 files,  999 Bytes"));
  f->ListedBytes = 1234567;
  f->ShowTotals();
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 3 files, 1 234 KB"));
  f->ListedBytes = 1234567890;
  f->ShowTotals();
  EXPECT_EQ(f->Panel4->text(), QStringLiteral("Total 3 files, 1234 567 KB"));
}

TEST_F(MainformTest, SelectionTotals) {
  auto f = make();
  f->ZipEngine1.setZipFilename(
      writeZip("s.zip", {{"a", std::string(600, 'a')}, {"b", std::string(700, 'b')}, {"c", "c"}}));
  f->SelectAll2Click();
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("Selected 3 files,  1 KB"));
  f->DeselectAll2Click();
  EXPECT_EQ(f->SelectedFiles, 1);
  // Without a "Size" column the selection line stays as it is.
  settings.ColumnDefs = {"1=Filename;True;80", "2=Packed;True;84", "3=Size;False;84"};
  f->ApplyColumnLayout();
  f->FillListing();
  f->Panel3->setText("unchanged");
  f->StringGrid1Click();
  f->SelectAll2Click();
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("unchanged"));
}

TEST_F(MainformTest, ColumnWidthsAreStoredOnlyOutsideLayoutLoading) {
  auto f = make();
  // First start: the factory layout was applied and stored at once.
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "1", ""), "Filename;True;80");
  std::string before = readFile(ini());
  f->LayoutLoading = true;
  f->StringGrid1->setColWidths(0, 150);
  EXPECT_EQ(readFile(ini()), before);
  f->LayoutLoading = false;
  f->StringGrid1->setColWidths(0, 123);
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "1", ""), "Filename;True;123");
  EXPECT_EQ(f->StringGrid1->ColWidths(0), 123);
}

TEST_F(MainformTest, ToolbarPicturesAndHints) {
  auto f = make();
  auto* add = f->findChild<QLabel*>("bu_AddEn");
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(add->toolTip(), QStringLiteral("Add file(s) to archive"));
  EXPECT_EQ(add->pixmap().size(), QSize(54, 34));
  EXPECT_EQ(f->findChild<QLabel*>("bu_NewEn")->pixmap().width(), 66);
  EXPECT_EQ(f->findChild<QLabel*>("bu_DeleteDi")->pixmap().width(), 44);
  EXPECT_EQ(f->findChild<QLabel*>("bu_CloseDi")->pixmap().width(), 59);
}

TEST_F(MainformTest, WindowOpensInTheMiddleOfTheScreen) {
  auto f = make();
  f->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(f.get()));
  EXPECT_EQ(f->size(), QSize(440, 377));
  const QPoint screenCentre = f->screen()->availableGeometry().center();
  EXPECT_LE((f->frameGeometry().center() - screenCentre).manhattanLength(), 2);
}

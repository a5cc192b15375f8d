// The archive listing as the user handles it: resizing a column changes its width
// and nothing else, hand-edited column lines cannot take the window down, the
// selection line stays whole and true through selection commands and sorts, dates
// sort by the entries' times, and names with control characters show visibly.
#include <gtest/gtest.h>

#include <QLabel>
#include <QPainter>
#include <QTest>

#include "app/app_fixture.h"
#include "app/columnlayout.h"
#include "platform/ini.h"
#include "widgets/sortgrid.h"

namespace {

using ListingTest = AppTest;

QStringList row(TSortGrid* g, int r) {
  QStringList out;
  for (int c = 0; c < g->ColCount(); ++c) out << g->Cells(c, r);
  return out;
}

// Every cell of the grid, title row included.
std::vector<QStringList> cells(TSortGrid* g) {
  std::vector<QStringList> out;
  for (int r = 0; r < g->RowCount(); ++r) out.push_back(row(g, r));
  return out;
}

void showAndWait(QWidget& w) {
  w.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
}

}  // namespace

TEST_F(ListingTest, DraggingATitleEdgeChangesTheWidthAndNothingElse) {
  auto f = make();
  f->resize(640, 400);
  showAndWait(*f);
  ASSERT_TRUE(f->OpenArchive(writeZip("a.zip", {{"one.txt", "1111"}, {"dir/two.txt", "22"}, {"three.txt", "3"}})));
  TSortGrid* g = f->StringGrid1;
  const auto before = cells(g);
  const QString totals = f->Panel4->text();
  ASSERT_EQ(g->Cells(0, 0), QStringLiteral("Filename"));
  // Drag the right edge of the "Filename" title 70 pixels to the right.
  const QRect title = g->CellRect(0, 0);
  const QPoint edge(title.right() + 1, title.center().y());
  QTest::mousePress(g->viewport(), Qt::LeftButton, {}, edge);
  QTest::mouseMove(g->viewport(), edge + QPoint(35, 0));
  QTest::mouseMove(g->viewport(), edge + QPoint(70, 0));
  QTest::mouseRelease(g->viewport(), Qt::LeftButton, {}, edge + QPoint(70, 0));
  EXPECT_GT(g->ColWidths(0), 120);
  EXPECT_EQ(cells(g), before);
  EXPECT_EQ(f->Panel4->text(), totals);
  EXPECT_NE(f->Panel3->text(), QStringLiteral("Selected 0 files,  0 Bytes"));
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "1", ""), "Filename;True;" + std::to_string(g->ColWidths(0)));
  // A width set in code takes the same road and keeps the cells as well.
  g->setColWidths(2, 133);
  EXPECT_EQ(cells(g), before);
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "3", ""), "Size;True;133");
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST_F(ListingTest, ResizeOnAHundredThousandRowListingKeepsEveryCell) {
  // Names, folders, sizes and dates that differ from row to row, so a cell that
  // moved or went blank shows up.
  std::vector<ziptest::Entry> many;
  many.reserve(100000);
  for (int i = 0; i < 100000; ++i) {
    ziptest::Entry e("d" + std::to_string(i % 37) + "/f" + std::to_string(i) + ".txt", std::string(i % 13, 'x'));
    e.date = static_cast<std::uint16_t>(((i % 40) << 9) | (1 + i % 12) << 5 | (1 + i % 28));
    many.push_back(std::move(e));
  }
  auto f = make();
  f->resize(640, 400);
  showAndWait(*f);
  // More entries than the plain end record counts: the ZIP64 end records hold them.
  ASSERT_TRUE(f->OpenArchive(dir.write("big.zip", ziptest::build(many, {}, 0, true).all())));
  TSortGrid* g = f->StringGrid1;
  ASSERT_EQ(g->RowCount(), 100001);
  const auto before = cells(g);
  const QString totals = f->Panel4->text();
  // The road of a drag on a title's edge: the grid reports the new width, which is
  // stored, read back and the layout applied again.
  g->setColWidths(0, g->ColWidths(0) + 40);
  QApplication::processEvents();
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "1", ""), "Filename;True;120");
  EXPECT_EQ(g->RowCount(), 100001);
  const auto after = cells(g);
  ASSERT_EQ(after.size(), before.size());
  int changed = 0;
  for (std::size_t r = 0; r < after.size(); ++r) changed += after[r] != before[r];
  EXPECT_EQ(changed, 0) << "rows whose cells changed";
  EXPECT_EQ(f->Panel4->text(), totals);
  EXPECT_TRUE(ui.unexpected.empty()) << ::testing::PrintToString(ui.unexpected);
}

TEST_F(ListingTest, HandEditedColumnLinesAreBoundedAndReportedOnce) {
  // Lines a user might type: a huge and a zero column number, a title that is no
  // column, and widths that are no number, negative and beyond any screen.
  platform::ini::writeString(ini(), "USER", "1", "Filename;True;abc");
  platform::ini::writeString(ini(), "USER", "2", "Packed;True;-20");
  platform::ini::writeString(ini(), "USER", "3", "Size;True;99999999");
  platform::ini::writeString(ini(), "USER", "4", "Modified;True;100");
  platform::ini::writeString(ini(), "USER", "5", "Path;False;100");
  platform::ini::writeString(ini(), "USER", "6", "Ratio;False;30");
  platform::ini::writeString(ini(), "USER", "2000000000", "Ratio;True;30");
  platform::ini::writeString(ini(), "USER", "0", "Path;True;100");
  platform::ini::writeString(ini(), "USER", "5", "Colour;True;100");
  ui.answerMessage(kBtnOk);
  auto f = make();
  TSortGrid* g = f->StringGrid1;
  EXPECT_EQ(row(g, 0), (QStringList{"Filename", "Packed", "Size", "Modified"}));
  EXPECT_EQ(g->ColWidths(0), 80);
  EXPECT_EQ(g->ColWidths(1), app::kMinColumnWidth);
  EXPECT_EQ(g->ColWidths(2), app::kMaxColumnWidth);
  ASSERT_EQ(ui.boxes.size(), 1u);
  const std::string& text = ui.boxes[0].text;
  for (const char* named : {"2000000000=Ratio;True;30", "0=Path;True;100", "5=Colour;True;100", "1=Filename;True;abc",
                            "2=Packed;True;-20", "3=Size;True;99999999"})
    EXPECT_NE(text.find(named), std::string::npos) << named << " is not named in: " << text;
  // The file keeps what was typed until a column is resized: then the widths shown
  // are stored, and the lines still unusable are not reported again.
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "1", ""), "Filename;True;abc");
  g->setColWidths(3, 120);
  EXPECT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(platform::ini::readString(ini(), "USER", "1", ""), "Filename;True;80");
  EXPECT_EQ(row(g, 0), (QStringList{"Filename", "Packed", "Size", "Modified"}));
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST(ColumnPlan, FollowsPositionsAndKeepsTheFirstLineOfAColumn) {
  // Gaps close up, an older line of a column (kept by an earlier save) loses to the
  // first one, and hidden lines are not looked at.
  app::ColumnPlan p = app::PlanColumnLayout(
      {"1=Filename;True;90", "3=Size;True;70", "4=Packed;True;60", "5=Size;True;10", "6=Ratio;False;x"});
  ASSERT_EQ(p.columns.size(), 3u);
  EXPECT_EQ(p.columns[0].title, "Filename");
  EXPECT_EQ(p.columns[1].title, "Size");
  EXPECT_EQ(p.columns[1].width, 70);
  EXPECT_EQ(p.columns[2].title, "Packed");
  EXPECT_TRUE(p.problems.empty());
}

TEST_F(ListingTest, SelectionLineIsNeverCutOff) {
  auto f = make();
  showAndWait(*f);
  const QString longest = QStringLiteral("Selected 123456 files, 1234 567 KB");
  f->Panel3->setText(longest);
  QApplication::processEvents();
  EXPECT_GE(f->Panel3->contentsRect().width(), f->Panel3->fontMetrics().horizontalAdvance(longest));
}

TEST_F(ListingTest, SelectAllLeavesTheCurrentCellInTheFirstColumnShown) {
  auto f = make();
  f->resize(260, 300);  // narrower than the five columns
  showAndWait(*f);
  f->OpenArchive(writeZip("a.zip", {{"a.txt", "1"}, {"b.txt", "22"}, {"c.txt", "333"}}));
  TSortGrid* g = f->StringGrid1;
  g->setFocus();
  for (auto command : {&TMainform::SelectAll2Click, &TMainform::DeselectAll2Click}) {
    ((*f).*command)();
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_End, Qt::Key_Home}) {
      QTest::keyClick(g, key);
      EXPECT_EQ(g->LeftCol(), 0) << "key " << key;
    }
  }
  f->SelectAll2Click();
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("Selected 3 files,  6 Bytes"));
}

TEST_F(ListingTest, SortKeepsTheSelectionLineTrue) {
  auto f = make();
  f->OpenArchive(writeZip("a.zip", {{"c.txt", "1"}, {"a.txt", "22"}, {"b.txt", "333"}}));
  TSortGrid* g = f->StringGrid1;
  g->setSelection(TGridRect{0, 1, 4, 3});
  f->StringGrid1Click();
  ASSERT_EQ(f->Panel3->text(), QStringLiteral("Selected 3 files,  6 Bytes"));
  // A right-click sort keeps only the current row (b.txt) selected.
  g->SortByColumn(0, TSortOptions{skAutomatic, soDescending});
  ASSERT_EQ(g->Selection().Top, g->Selection().Bottom);
  EXPECT_EQ(g->Cells(0, g->Row()), QStringLiteral("b.txt"));
  EXPECT_EQ(f->Panel3->text(), QStringLiteral("Selected 1 files,  3 Bytes"));
}

TEST_F(ListingTest, DatesSortByTheEntriesTimesInEveryFormat) {
  auto f = make();
  settings.co_DateFormat = "yy/mm/dd";
  auto at = [](const char* name, int year) {
    ziptest::Entry e(name, "x");
    e.date = static_cast<std::uint16_t>(((year - 1980) << 9) | (6 << 5) | 15);
    return e;
  };
  ui.acceptInformationBoxes(true);
  f->OpenArchive(
      writeZip("d.zip", {at("y2100.txt", 2100), at("y1980.txt", 1980), at("y2049.txt", 2049), at("y1999.txt", 1999)}));
  TSortGrid* g = f->StringGrid1;
  const int name = f->ColumnOf("Filename"), modified = f->ColumnOf("Modified");
  ASSERT_EQ(g->Cells(modified, 1).left(3), QStringLiteral("00/"));  // 2100 shows as 00
  g->SortByColumn(modified, TSortOptions{});
  QStringList order;
  for (int r = 1; r < g->RowCount(); ++r) order << g->Cells(name, r);
  EXPECT_EQ(order, (QStringList{"y1980.txt", "y1999.txt", "y2049.txt", "y2100.txt"}));
  g->SortByColumn(modified, TSortOptions{skAutomatic, soDescending});
  EXPECT_EQ(g->Cells(name, 1), QStringLiteral("y2100.txt"));
}

TEST_F(ListingTest, ControlCharactersInNamesShowVisibly) {
  auto f = make();
  f->resize(640, 300);
  showAndWait(*f);
  const std::string nasty = std::string("bell\a esc\x1b[31m nl\nfake.txt");
  f->OpenArchive(writeZip("c.zip", {{nasty, "x"}, {"plain.txt", "y"}}));
  TSortGrid* g = f->StringGrid1;
  // The cell keeps the name; commands still act on the stored name.
  EXPECT_EQ(g->Cells(0, 1), QString::fromStdString(nasty));
  g->setSelection(TGridRect{0, 1, 4, 1});
  EXPECT_EQ(f->SelectedNames(), std::vector<std::string>{nasty});
  const QString shown = TSortGrid::VisibleText(g->Cells(0, 1));
  EXPECT_EQ(shown, QStringLiteral("bell^G esc^[[31m nl^Jfake.txt"));
  EXPECT_EQ(TSortGrid::VisibleText(QString(QChar(0)) + QChar(0x7f) + QChar(0x85) + QChar(0x2028)),
            QString::fromUtf8("^@^?\ufffd\ufffd"));
  const QString plain = QStringLiteral("Übersicht.txt");
  EXPECT_EQ(TSortGrid::VisibleText(plain), plain);
  // What is drawn is the visible text: the cell looks exactly as one holding it.
  const QRect cell = g->CellRect(0, 1);
  const QImage drawn = g->viewport()->grab(cell).toImage();
  g->setCells(0, 1, shown);
  EXPECT_EQ(g->viewport()->grab(cell).toImage(), drawn);
}

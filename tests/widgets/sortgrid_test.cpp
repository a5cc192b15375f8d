// The grid's store and layout: sizes and fixed counts, row and column operations with
// their events, searching, delimited text files, sizing columns to their contents,
// the scroll-bar thumbs, and how a cell is drawn.
#include <QImage>
#include <QScrollBar>
#include <fstream>

#include "platform/datetime.h"
#include "sortgrid_fixture.h"
#include "support/temp_dir.h"

using namespace sortgridtest;

namespace {

using Strings = std::vector<std::string>;

TEST(SortGridStore, SizeChangesKeepCellsAndReportTheOldSize) {
  TSortGrid g;
  std::vector<std::pair<int, int>> sizes;
  g.OnSizeChanged = [&](TSortGrid*, int oldCols, int oldRows) { sizes.emplace_back(oldCols, oldRows); };
  g.setCells(2, 3, "kept");
  g.setRowCount(10);
  g.setColCount(3);
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{5, 5}, {5, 10}}));
  EXPECT_EQ(g.Cells(2, 3), "kept");
  g.setColCount(2);
  g.setColCount(3);
  EXPECT_EQ(g.Cells(2, 3), "");  // a removed column does not come back
  g.setRowCount(0);
  EXPECT_EQ(g.RowCount(), 1);
  EXPECT_EQ(g.Cells(7, 0), "");  // out of range reads empty
  g.setCells(7, 0, "ignored");
  EXPECT_EQ(g.Rows(0).size(), 3);
}

// The listing empties the grid to its title row between archives and then adds rows
// one at a time; folder entries add a row and take it away again.
TEST(SortGridStore, FixedRowsFollowTheListingPattern) {
  TSortGrid g;
  g.setRowCount(1);
  g.setFixedRows(0);
  g.setRowCount(1);
  EXPECT_EQ(g.FixedRows(), 0);
  for (int i = 0; i < 3; ++i) {
    g.setRowCount(g.RowCount() + 1);
    g.setFixedRows(1);
    g.setCells(0, g.RowCount() - 1, QString::number(i));
  }
  g.setRowCount(g.RowCount() + 1);
  g.setFixedRows(1);
  g.setRowCount(g.RowCount() - 1);  // a folder entry
  EXPECT_EQ(g.RowCount(), 4);
  EXPECT_EQ(g.FixedRows(), 1);
  EXPECT_EQ(column(g, 0), (Strings{"0", "1", "2"}));
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.Col(), 1);
}

TEST(SortGridStore, DeletingTheLastDataRowLeavesTheTitleRowFixed) {
  TSortGrid g;
  fill(g, {{"Filename", "Path"}, {"a.zip", "/tmp"}});
  g.DeleteRow(1);
  EXPECT_EQ(g.RowCount(), 1);
  EXPECT_EQ(g.FixedRows(), 1);
  EXPECT_EQ(row(g, 0), (Strings{"Filename", "Path"}));
  EXPECT_EQ(g.Selection().Top, 1);  // no data row is selected
  g.DeleteRow(g.Selection().Top);   // a window removing "the selection" again
  EXPECT_EQ(g.RowCount(), 1);
  g.setRowCount(2);  // adding a row again puts it right after the titles
  g.setCells(0, 1, "b.zip");
  EXPECT_EQ(column(g, 0), Strings{"b.zip"});
  EXPECT_EQ(g.Row(), 1);
}

TEST(SortGridStore, RowsAndColumnsAsListsWithObjects) {
  TSortGrid g;
  fill(g, {{"a", "b", "c"}, {"1", "2", "3"}});
  EXPECT_EQ(g.Rows(1), (QStringList{"1", "2", "3"}));
  EXPECT_EQ(g.Cols(2), (QStringList{"c", "3"}));
  g.setRows(1, {"x", "y", "z", "beyond"});
  g.setCols(0, {"P"});
  EXPECT_EQ(row(g, 1), (Strings{"x", "y", "z"}));
  EXPECT_EQ(row(g, 0), (Strings{"P", "b", "c"}));
  int tag = 0;
  EXPECT_EQ(g.Objects(1, 1), nullptr);
  g.setObjects(1, 1, &tag);
  EXPECT_EQ(g.Objects(1, 1), &tag);
  g.Clear();
  EXPECT_EQ(g.Objects(1, 1), nullptr);
  EXPECT_EQ(row(g, 1), (Strings{"", "", ""}));
  EXPECT_EQ(g.ColCount(), 3);
}

// Rows of a very wide grid keep only the cells up to the last written one; moving
// and inserting columns must still reach every cell.
TEST(SortGridStore, WideGridsKeepTheirCellsThroughColumnMoves) {
  TSortGrid g;
  g.setColCount(500);
  g.setRowCount(3);
  g.setCells(3, 1, "near");
  g.setCells(499, 2, "far");
  int tag = 0;
  g.setObjects(450, 1, &tag);
  g.MoveColumn(499, 0);
  EXPECT_EQ(g.Cells(0, 2), "far");
  EXPECT_EQ(g.Cells(4, 1), "near");
  EXPECT_EQ(g.Objects(451, 1), &tag);
  g.InsertColumn(2);
  EXPECT_EQ(g.Cells(5, 1), "near");
  EXPECT_EQ(g.Cells(0, 2), "far");
  g.DeleteColumn(0);
  EXPECT_EQ(g.Cells(0, 2), "");
  EXPECT_EQ(g.Cells(4, 1), "near");
  EXPECT_EQ(g.Objects(451, 1), &tag);
}

TEST(SortGridRows, InsertMakesTheNewRowCurrentAndReports) {
  TSortGrid g;
  fill(g, {{"n"}, {"a"}, {"b"}, {"c"}});
  std::vector<int> inserted;
  g.OnRowInsert = [&](TSortGrid* s, int i) {
    EXPECT_EQ(s->Cells(0, i), "");
    inserted.push_back(i);
  };
  g.InsertRow(2);
  EXPECT_EQ(column(g, 0), (Strings{"a", "", "b", "c"}));
  EXPECT_EQ(g.Row(), 2);
  g.InsertRow(5);  // at the end
  EXPECT_EQ(column(g, 0), (Strings{"a", "", "b", "c", ""}));
  EXPECT_EQ(inserted, (std::vector<int>{2, 5}));
}

TEST(SortGridRows, DeleteRemovesThenReportsAndTheCurrentRowStaysOnItsData) {
  TSortGrid g;
  fill(g, {{"n"}, {"a"}, {"b"}, {"c"}, {"d"}});
  g.setRow(4);  // "d"
  std::vector<int> deleted;
  g.OnRowDelete = [&](TSortGrid* s, int i) {
    EXPECT_EQ(s->RowCount(), 4);  // raised after the removal
    deleted.push_back(i);
  };
  g.DeleteRow(2);
  EXPECT_EQ(column(g, 0), (Strings{"a", "c", "d"}));
  EXPECT_EQ(g.Cells(0, g.Row()), "d");
  EXPECT_EQ(deleted, std::vector<int>{2});
}

TEST(SortGridRows, MoveAndSwapRowsAndColumns) {
  TSortGrid g;
  fill(g, {{"A", "B", "C", "D"},
           {"a1", "b1", "c1", "d1"},
           {"a2", "b2", "c2", "d2"},
           {"a3", "b3", "c3", "d3"},
           {"a4", "b4", "c4", "d4"}});
  g.setRowHeights(1, 40);
  g.MoveRow(1, 3);  // a row takes its height along
  EXPECT_EQ(column(g, 0), (Strings{"a2", "a3", "a1", "a4"}));
  EXPECT_EQ(g.RowHeights(3), 40);
  EXPECT_EQ(g.RowHeights(1), g.DefaultRowHeight());
  g.SwapRows(4, 1);
  EXPECT_EQ(column(g, 0), (Strings{"a4", "a3", "a1", "a2"}));
  g.SwapRows(2, 2);
  EXPECT_EQ(column(g, 0), (Strings{"a4", "a3", "a1", "a2"}));

  g.setColWidths(0, 10);
  g.SwapColumns(0, 3);
  EXPECT_EQ(row(g, 0), (Strings{"D", "B", "C", "A"}));
  EXPECT_EQ(g.ColWidths(3), 10);
  g.MoveColumn(3, 1);
  EXPECT_EQ(row(g, 0), (Strings{"D", "A", "B", "C"}));
}

TEST(SortGridColumns, InsertAndDeleteColumns) {
  TSortGrid g;
  fill(g, {{"A", "B"}, {"a", "b"}});
  std::vector<std::string> events;
  g.OnColumnInsert = [&](TSortGrid*, int i) { events.push_back("insert " + std::to_string(i)); };
  g.OnColumnDelete = [&](TSortGrid*, int i) { events.push_back("delete " + std::to_string(i)); };
  g.InsertColumn(1);
  EXPECT_EQ(row(g, 0), (Strings{"A", "", "B"}));
  EXPECT_EQ(g.Col(), 1);
  g.DeleteColumn(0);
  EXPECT_EQ(row(g, 1), (Strings{"", "b"}));
  EXPECT_EQ(events, (Strings{"insert 1", "delete 0"}));
}

TEST(SortGridFind, FirstMatchIgnoringCaseColumnByColumn) {
  TSortGrid g;
  fill(g, {{"x", "Readme.TXT"}, {"readme.txt", "b"}, {"c", "README.txt"}});
  int c = -1, r = -1;
  ASSERT_TRUE(g.FindCell("README.TXT", c, r));
  EXPECT_EQ(c, 0);
  EXPECT_EQ(r, 1);
  EXPECT_FALSE(g.FindCell("readme", c, r));
  EXPECT_EQ(c, 0);  // untouched on a miss
}

TEST(SortGridFile, LoadSplitsFieldsAsWritten) {
  testsupport::TempDir dir;
  const std::string path = dir.write("list.txt", "Name;Size;\r\n\nx;1;2;3\nlast");
  TSortGrid g;
  g.setFixedCols(0);
  ASSERT_TRUE(g.LoadFromFile(QString::fromStdString(path), ';'));
  EXPECT_EQ(g.RowCount(), 4);
  EXPECT_EQ(g.ColCount(), 4);
  EXPECT_EQ(row(g, 0), (Strings{"Name", "Size", "", ""}));  // trailing delimiter: an empty third field
  EXPECT_EQ(row(g, 1), (Strings{"", "", "", ""}));          // empty line: one empty field
  EXPECT_EQ(row(g, 2), (Strings{"x", "1", "2", "3"}));
  EXPECT_EQ(row(g, 3), (Strings{"last", "", "", ""}));
}

TEST(SortGridFile, SaveAndLoadRoundTrip) {
  testsupport::TempDir dir;
  TSortGrid g;
  fill(g, {{"Filename", "Path", ""}, {"a b.zip", "", "x"}, {"", "", ""}, {"ü.zip", "/tmp", ""}});
  const QString path = QString::fromStdString(dir / "out.txt");
  ASSERT_TRUE(g.SaveToFile(path, '\t'));
  EXPECT_EQ(testsupport::readFile(dir / "out.txt"), "Filename\tPath\t\na b.zip\t\tx\n\t\t\nü.zip\t/tmp\t\n");
  TSortGrid back;
  back.setFixedCols(0);
  ASSERT_TRUE(back.LoadFromFile(path, '\t'));
  ASSERT_EQ(back.RowCount(), g.RowCount());
  ASSERT_EQ(back.ColCount(), g.ColCount());
  for (int r = 0; r < g.RowCount(); ++r) EXPECT_EQ(row(back, r), row(g, r));
}

TEST(SortGridFile, LoadKeepsFixedColumnsAndFailsCleanly) {
  testsupport::TempDir dir;
  TSortGrid g;
  fill(g, {{"keep", "me"}, {"1", "2"}});
  EXPECT_FALSE(g.LoadFromFile(QString::fromStdString(dir / "missing.txt"), ';'));
  EXPECT_EQ(row(g, 0), (Strings{"keep", "me"}));
  g.setFixedCols(1);
  ASSERT_TRUE(g.LoadFromFile(QString::fromStdString(dir.write("one.txt", "a\nb\n")), ';'));
  EXPECT_EQ(g.ColCount(), 2);  // at least the fixed columns plus one
  EXPECT_EQ(g.RowCount(), 2);
  EXPECT_EQ(row(g, 1), (Strings{"b", ""}));
  EXPECT_FALSE(g.SaveToFile(QString::fromStdString(dir / "no/such/folder/x.txt"), ';'));
}

TEST(SortGridSize, AutoSizeTakesTheWidestTextInItsFormatPlusAnX) {
  TSortGrid g;
  fill(g, {{"Name"}, {"short"}, {"a much longer text"}, {"mid text"}});
  const QFontMetrics fm(g.font());
  int changes = 0;
  g.OnColumnWidthsChanged = [&](TSortGrid*) { ++changes; };
  g.AutoSizeColumn(0);
  EXPECT_EQ(g.ColWidths(0), fm.horizontalAdvance("a much longer text") + fm.horizontalAdvance('x'));
  EXPECT_EQ(changes, 1);

  QFont big = g.font();
  big.setPointSize(big.pointSize() * 3);
  g.OnGetCellFormat = [&](TSortGrid*, int, int r, TGridDrawState, TFormatOptions& fo) {
    if (r == 3) fo.Font = big;
  };
  g.AutoSizeAllColumns(false, 7);
  EXPECT_EQ(g.ColWidths(0), QFontMetrics(big).horizontalAdvance("mid text") + fm.horizontalAdvance('x') + 7);
}

TEST(SortGridView, TitleRowStaysInPlaceWhenScrolling) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  g.setRowCount(200);
  g.setCells(1, 0, "Title");
  QApplication::processEvents();
  g.setTopRow(50);
  EXPECT_EQ(g.TopRow(), 50);
  EXPECT_EQ(g.CellRect(1, 0).top(), 0);
  EXPECT_EQ(g.CellRect(1, 50).top(), g.DefaultRowHeight() + 1);
  EXPECT_TRUE(g.CellRect(1, 10).isEmpty());
  int c, r;
  ASSERT_TRUE(g.MouseToCell(QPoint(80, 5), c, r));
  EXPECT_EQ(r, 0);
  ASSERT_TRUE(g.MouseToCell(QPoint(80, g.DefaultRowHeight() + 3), c, r));
  EXPECT_EQ(r, 50);
  // Going to a cell far below scrolls it into view.
  g.GoToCell(1, 180);
  EXPECT_FALSE(g.CellRect(1, 180).isEmpty());
  EXPECT_LE(g.CellRect(1, 180).bottom(), g.viewport()->height());
}

TEST(SortGridView, ScrollBarThumbsFollowTheVisibleShare) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  g.setColCount(30);
  g.setRowCount(1000);
  QApplication::processEvents();
  QScrollBar* vb = g.verticalScrollBar();
  QScrollBar* hb = g.horizontalScrollBar();
  const double vRange = vb->maximum() - vb->minimum() + 1;
  const double hRange = hb->maximum() - hb->minimum() + 1;
  EXPECT_EQ(vb->pageStep(),
            std::max(1, static_cast<int>(std::lround((g.VisibleRowCount() - 15.0 + g.FixedRows()) / 1000 * vRange))));
  EXPECT_EQ(hb->pageStep(),
            std::max(1, static_cast<int>(std::lround((g.VisibleColCount() + double(g.FixedCols())) / 30 * hRange))));
  g.setProportionalScrollBars(false);
  EXPECT_EQ(vb->pageStep(), 0);
  EXPECT_EQ(hb->pageStep(), 0);
  // A click in the bar's trough still moves by a page of rows.
  const int top = g.TopRow();
  vb->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(g.TopRow(), top + g.VisibleRowCount());
}

// Pixels of a painted cell: the colours the format handler chose, the bevel edges
// under the fixed-line options, and hidden text.
TEST(SortGridPaint, FormatBevelAndHiddenText) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, {{"T", "U"}, {"", "wide text here"}, {"", ""}});
  g.setColWidths(1, 150);
  g.setBevelStyle(cbRaised);
  g.setOptions(goFixedVertLine | goFixedHorzLine);
  const QColor fill(10, 200, 30), topLeft(250, 0, 0), bottomRight(0, 0, 250);
  bool hide = false;
  g.OnGetCellFormat = [&](TSortGrid*, int c, int r, TGridDrawState st, TFormatOptions& fo) {
    if (c != 1 || r != 1) return;
    EXPECT_FALSE(st & gdFixed);
    fo.Brush.setColor(fill);
    fo.TopLeftColor = topLeft;
    fo.BottomRightColor = bottomRight;
    fo.HideText = hide;
  };
  g.GoToCell(0, 2);
  auto shot = [&] { return g.viewport()->grab().toImage(); };
  const QRect rc = g.CellRect(1, 1);
  auto textPixels = [&](const QImage& img) {
    int n = 0;
    for (int x = rc.left() + 2; x < rc.right() - 2; ++x)
      for (int y = rc.top() + 2; y < rc.bottom() - 1; ++y) n += QColor(img.pixel(x, y)) != fill;
    return n;
  };
  QImage img = shot();
  EXPECT_EQ(QColor(img.pixel(rc.right(), rc.center().y())), bottomRight);
  EXPECT_EQ(QColor(img.pixel(rc.center().x(), rc.bottom())), bottomRight);
  EXPECT_EQ(QColor(img.pixel(rc.left(), rc.center().y())), topLeft);
  EXPECT_EQ(QColor(img.pixel(rc.center().x(), rc.top())), topLeft);
  EXPECT_GT(textPixels(img), 0);
  hide = true;
  g.viewport()->repaint();
  img = shot();
  EXPECT_EQ(textPixels(img), 0);
  // Without the fixed-line options the bevel is not drawn.
  g.setOptions(TGridOptions());
  img = shot();
  EXPECT_EQ(QColor(img.pixel(rc.right(), rc.center().y())), fill);
  EXPECT_EQ(QColor(img.pixel(rc.left(), rc.center().y())), fill);
}

TEST(SortGridPaint, TextPlacementFollowsTheAlignments) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, {{"T"}, {"i"}, {""}});
  g.setColWidths(0, 200);
  g.setDefaultRowHeight(60);
  g.setOptions(TGridOptions());
  g.GoToCell(0, 2);
  const QRect rc = g.CellRect(0, 1);
  const QColor bg = g.Color();
  auto inkBounds = [&] {
    const QImage img = g.viewport()->grab().toImage();
    QRect ink;
    for (int x = rc.left(); x <= rc.right(); ++x)
      for (int y = rc.top(); y <= rc.bottom(); ++y)
        if (QColor(img.pixel(x, y)) != bg) ink |= QRect(x, y, 1, 1);
    return ink;
  };
  const QRect topLeft = inkBounds();
  ASSERT_FALSE(topLeft.isEmpty());
  EXPECT_LT(topLeft.left() - rc.left(), 10);
  EXPECT_LT(topLeft.top() - rc.top(), 20);
  g.setAlignmentHorz(taRightJustify);
  g.setAlignmentVert(taBottomJustify);
  const QRect bottomRight = inkBounds();
  EXPECT_GT(bottomRight.left() - rc.left(), 180);
  EXPECT_GT(bottomRight.top() - rc.top(), 30);
  g.setAlignmentHorz(taCenter);
  g.setAlignmentVert(taMiddle);
  const QRect centre = inkBounds();
  EXPECT_NEAR(centre.center().x(), rc.center().x(), 6);
  EXPECT_NEAR(centre.center().y(), rc.center().y(), 8);
}

}  // namespace

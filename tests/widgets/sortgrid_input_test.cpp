// The grid under the user's hands: keyboard navigation and selection, mouse selection
// and column sizing, the in-place editor, cell validation, and the extended keys.
#include <QLineEdit>

#include "sortgrid_fixture.h"
#include "widgets/routines_qt.h"

using namespace sortgridtest;

namespace {

using Strings = std::vector<std::string>;

Table numbered(int rows, int cols) {
  Table t;
  for (int r = 0; r < rows; ++r) {
    t.emplace_back();
    for (int c = 0; c < cols; ++c) t.back().push_back(std::to_string(c) + ":" + std::to_string(r));
  }
  return t;
}

TEST(SortGridKeys, ArrowsPagesHomeAndEnd) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(100, 4));
  g.GoToCell(1, 1);
  s.key(Qt::Key_Down);
  s.key(Qt::Key_Right);
  EXPECT_EQ(g.Row(), 2);
  EXPECT_EQ(g.Col(), 2);
  s.key(Qt::Key_Up);
  s.key(Qt::Key_Up);
  s.key(Qt::Key_Up);  // stops at the first data row
  EXPECT_EQ(g.Row(), 1);
  s.key(Qt::Key_PageDown);
  EXPECT_EQ(g.Row(), 1 + g.VisibleRowCount());
  EXPECT_FALSE(g.CellRect(g.Col(), g.Row()).isEmpty());  // scrolled into view
  s.key(Qt::Key_End);
  EXPECT_EQ(g.Col(), 3);
  s.key(Qt::Key_Home);
  EXPECT_EQ(g.Col(), 0);
  s.key(Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(g.Row(), 99);
  s.key(Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(g.Row(), 1);
  EXPECT_EQ(g.TopRow(), 1);
}

TEST(SortGridKeys, ShiftExtendsTheSelectionOnlyWithRangeSelect) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(10, 4));
  g.GoToCell(1, 2);
  s.key(Qt::Key_Down, Qt::ShiftModifier);
  s.key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 2, 2, 3}));
  g.setOptions(g.Options() & ~TGridOptions(goRangeSelect));
  s.key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(g.Selection(), (TGridRect{2, 4, 2, 4}));
  g.setOptions(g.Options() | goRowSelect);
  EXPECT_EQ(g.Selection(), (TGridRect{0, 4, 3, 4}));
}

TEST(SortGridKeys, TabsMoveAlongTheRowWhenAllowed) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(4, 3));
  EXPECT_FALSE(g.property("goTabs").toBool());
  g.setOptions(g.Options() | goTabs);
  EXPECT_TRUE(g.property("goTabs").toBool());
  g.GoToCell(2, 1);
  s.key(Qt::Key_Tab);
  EXPECT_EQ(g.Col(), 0);
  EXPECT_EQ(g.Row(), 2);
  s.key(Qt::Key_Backtab, Qt::ShiftModifier);
  EXPECT_EQ(g.Col(), 2);
  EXPECT_EQ(g.Row(), 1);
  // Enter becomes a Tab through the shared routine a window calls from its key handler.
  g.OnKeyPress = [&](TSortGrid* grid, int& key) { widgets::EnterAsTab(grid->window(), key); };
  s.key(Qt::Key_Return);
  EXPECT_EQ(g.Col(), 0);
  EXPECT_EQ(g.Row(), 2);
}

TEST(SortGridMouse, ClickShiftClickAndDragSelect) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(10, 4));
  int clicks = 0;
  g.OnClick = [&](TSortGrid*) { ++clicks; };
  s.click(1, 2);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 2, 1, 2}));
  EXPECT_GT(clicks, 0);
  s.click(2, 5, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(g.Selection(), (TGridRect{1, 2, 2, 5}));
  EXPECT_EQ(g.Row(), 5);
  QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, s.centre(0, 6));
  QTest::mouseMove(g.viewport(), s.centre(1, 8));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, s.centre(1, 8));
  EXPECT_EQ(g.Selection(), (TGridRect{0, 6, 1, 8}));
  // A click on a title cell selects nothing (and, not sorting, keeps the selection).
  g.setClickSorting(false);
  s.click(3, 0);
  EXPECT_EQ(g.Selection(), (TGridRect{0, 6, 1, 8}));
}

TEST(SortGridMouse, RowSelectSpansEveryColumnAndDoubleClickIsReported) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(10, 4));
  g.setOptions(g.Options() | goRowSelect);
  int doubles = 0;
  g.OnDblClick = [&](TSortGrid*) { ++doubles; };
  s.click(2, 3);
  s.click(1, 4, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(g.Selection(), (TGridRect{0, 3, 3, 4}));
  QTest::mouseDClick(g.viewport(), Qt::LeftButton, Qt::NoModifier, s.centre(1, 6));
  EXPECT_EQ(doubles, 1);
  EXPECT_EQ(g.Row(), 6);
}

TEST(SortGridMouse, DraggingATitleSeparatorSizesTheColumnOnce) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(5, 3));
  const QRect title = g.CellRect(1, 0);
  const QPoint edge(title.right() + 1, title.center().y());
  int changes = 0;
  g.OnColumnWidthsChanged = [&](TSortGrid*) { ++changes; };
  // Without goColSizing the separator is an ordinary title click.
  QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge);
  QTest::mouseMove(g.viewport(), edge + QPoint(30, 0));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge + QPoint(30, 0));
  EXPECT_EQ(g.ColWidths(1), 64);
  g.setOptions(g.Options() | goColSizing);
  QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge);
  QTest::mouseMove(g.viewport(), edge + QPoint(15, 0));
  QTest::mouseMove(g.viewport(), edge + QPoint(30, 0));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge + QPoint(30, 0));
  EXPECT_EQ(g.ColWidths(1), 94);
  EXPECT_EQ(changes, 1);
  // A separator below the title row does not size.
  const QPoint low(g.CellRect(1, 2).right() + 1, g.CellRect(1, 2).center().y());
  QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, low);
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, low + QPoint(30, 0));
  EXPECT_EQ(g.ColWidths(1), 94);
}

TEST(SortGridMouse, DraggingATitleMovesTheColumnAndDoesNotSort) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, {{"A", "B", "C"}, {"3", "b", "x"}, {"1", "a", "y"}});
  g.setOptions(g.Options() | goColMoving);
  g.GoToCell(0, 2);
  QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, s.centre(0, 0));
  QTest::mouseMove(g.viewport(), s.centre(2, 0));
  QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, s.centre(2, 0));
  EXPECT_EQ(row(g, 0), (Strings{"B", "C", "A"}));
  EXPECT_EQ(row(g, 1), (Strings{"b", "x", "3"}));
  EXPECT_EQ(g.Col(), 2);  // the current cell moved with its column
  s.click(2, 0);          // a title press starts a move, so no sort
  EXPECT_EQ(column(g, 2), (Strings{"3", "1"}));
}

TEST(SortGridEdit, TypingEditsTheCellAndEscapeRestoresIt) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(4, 2));
  g.GoToCell(1, 2);
  QTest::keyClicks(&g, "ab");
  EXPECT_EQ(g.Cells(1, 2), "1:2");  // not editable without goEditing
  EXPECT_FALSE(g.Modified());
  g.setOptions(g.Options() | goEditing);
  QTest::keyClicks(&g, "x");
  ASSERT_TRUE(g.EditorMode());
  auto* editor = g.findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "yz");
  EXPECT_EQ(g.Cells(1, 2), "xyz");
  EXPECT_TRUE(g.Modified());
  QTest::keyClick(editor, Qt::Key_Escape);
  EXPECT_FALSE(g.EditorMode());
  EXPECT_EQ(g.Cells(1, 2), "1:2");
  // Enter opens the editor on the current text; Enter again closes it.
  s.key(Qt::Key_Return);
  ASSERT_TRUE(g.EditorMode());
  EXPECT_EQ(editor->text(), "1:2");
  QTest::keyClick(editor, Qt::Key_End);
  QTest::keyClicks(editor, "!");
  QTest::keyClick(editor, Qt::Key_Return);
  EXPECT_FALSE(g.EditorMode());
  EXPECT_EQ(g.Cells(1, 2), "1:2!");
  g.Clear();
  EXPECT_FALSE(g.Modified());
}

TEST(SortGridEdit, AKeyTheEditorDoesNotTakeEndsInTheGridInsteadOfCirclingBetweenThem) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(4, 2));
  g.setOptions(g.Options() | goEditing);
  g.GoToCell(1, 2);
  g.setEditorMode(true);
  ASSERT_TRUE(g.EditorMode());
  // Sent to the grid, handed to the editor, ignored there and passed back to the
  // grid as the editor's parent: once, not until the stack runs out.
  s.key(Qt::Key_F5);
  s.key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_TRUE(g.EditorMode());
  EXPECT_EQ(g.Cells(1, 2), "1:2");
}

// What OnCellValidate decides about an edited cell, seen when the user moves on.
struct ValidateCase {
  const char* name;
  bool valid;
  const char* replacement;  // nullptr: the handler leaves Value alone
  const char* expected;
  bool modifiedAfter;
};

class SortGridValidate : public ::testing::TestWithParam<ValidateCase> {};

TEST_P(SortGridValidate, HandlerKeepsReplacesOrRefusesTheText) {
  const ValidateCase vc = GetParam();
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(5, 2));
  g.setOptions(g.Options() | goEditing);
  std::vector<std::string> seen;
  g.OnCellValidate = [&](TSortGrid*, int c, int r, QString& value, bool& valid) {
    seen.push_back(std::to_string(c) + "," + std::to_string(r) + "=" + value.toStdString());
    if (vc.replacement) value = vc.replacement;
    valid = vc.valid;
  };
  s.click(1, 1);
  QTest::keyClicks(&g, "new");
  ASSERT_TRUE(g.EditorMode());
  s.click(1, 3);  // moving on validates the edited cell
  EXPECT_EQ(seen, Strings{"1,1=new"});
  EXPECT_EQ(g.Cells(1, 1).toStdString(), vc.expected);
  EXPECT_EQ(g.Modified(), vc.modifiedAfter);
  // Nothing changed since: clicking around validates nothing more.
  s.click(0, 4);
  EXPECT_EQ(seen.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SortGridValidate,
                         ::testing::Values(ValidateCase{"accepted", true, nullptr, "new", true},
                                           ValidateCase{"accepted_replaced", true, "NEW", "NEW", true},
                                           ValidateCase{"refused", false, nullptr, "1:1", false},
                                           ValidateCase{"refused_replaced", false, "fixed", "fixed", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SortGridValidateWhen, EnterAndLeavingTheGridValidate) {
  QWidget window;
  auto* g = new TSortGrid(&window);
  auto* other = new QLineEdit(&window);
  g->setGeometry(0, 0, 300, 200);
  other->setGeometry(0, 210, 100, 20);
  window.resize(300, 240);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  fill(*g, numbered(4, 2));
  g->setOptions(g->Options() | goEditing);
  g->setFocus();
  g->GoToCell(1, 1);
  int validations = 0;
  g->OnCellValidate = [&](TSortGrid*, int, int, QString&, bool& valid) {
    ++validations;
    valid = false;
  };
  QTest::keyClicks(g, "a");
  QTest::keyClick(g->findChild<QLineEdit*>("InplaceEditor"), Qt::Key_Return);
  EXPECT_EQ(validations, 1);
  EXPECT_EQ(g->Cells(1, 1), "1:1");
  QTest::keyClicks(g, "b");
  other->setFocus();  // leaving the grid
  QApplication::processEvents();
  EXPECT_EQ(validations, 2);
  EXPECT_EQ(g->Cells(1, 1), "1:1");
}

// Validation looks at what the user typed: texts the program writes and rows a sort
// moves under the watched cell are not reported, and a refusal never writes one
// row's old text into another row.
TEST(SortGridValidateWhen, ProgramWritesAndSortsAreNotValidated) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, {{"Size", "Name"}, {"3", "c"}, {"1", "a"}, {"2", "b"}});
  int validations = 0;
  g.OnCellValidate = [&](TSortGrid*, int, int, QString&, bool& valid) {
    ++validations;
    valid = false;
  };
  s.click(1, 1);  // watches "c"
  g.setCells(1, 1, "c2");
  s.click(1, 2);
  EXPECT_EQ(validations, 0);
  EXPECT_EQ(g.Cells(1, 1), "c2");
  s.click(0, 0);  // sort: the watched "a" row moves to the top
  ASSERT_EQ(column(g, 1), (Strings{"a", "b", "c2"}));
  s.click(1, 3);
  EXPECT_EQ(validations, 0);
  EXPECT_EQ(column(g, 1), (Strings{"a", "b", "c2"}));
}

TEST(SortGridKeys, ExtendedKeysInsertAndDeleteRowsAndColumns) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(3, 2));
  g.GoToCell(1, 1);
  s.key(Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(g.RowCount(), 3);  // off by default
  g.setExtendedKeys(true);
  s.key(Qt::Key_Insert, Qt::ControlModifier);
  EXPECT_EQ(column(g, 0), (Strings{"", "0:1", "0:2"}));
  EXPECT_EQ(g.Row(), 1);
  s.key(Qt::Key_Insert, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(row(g, 0), (Strings{"0:0", "", "1:0"}));
  s.key(Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(row(g, 0), (Strings{"0:0", "1:0"}));
  s.key(Qt::Key_Delete, Qt::ControlModifier);
  s.key(Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(g.RowCount(), 2);  // the last data row stays
  s.key(Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
  s.key(Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(g.ColCount(), 1);  // no fixed columns: one column stays
}

TEST(SortGridKeys, KeyPressHandlerSeesAndSwallowsKeys) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, numbered(3, 2));
  g.setOptions(g.Options() | goEditing);
  std::vector<int> keys;
  g.OnKeyPress = [&](TSortGrid*, int& key) {
    keys.push_back(key);
    if (key == 'q') key = 0;
  };
  s.key(Qt::Key_Q);
  EXPECT_FALSE(g.EditorMode());
  s.key(Qt::Key_Return);
  EXPECT_EQ(keys, (std::vector<int>{'q', 13}));
  EXPECT_TRUE(g.EditorMode());
}

}  // namespace

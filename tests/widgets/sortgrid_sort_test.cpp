// Sorting by a click on a title cell: which kind of comparison a column gets, the
// order it produces in both directions, stability, when a click must not sort, the
// current cell following its data, and undoing a sort.
#include <QContextMenuEvent>
#include <QLocale>
#include <QRandomGenerator>
#include <algorithm>
#include <map>

#include "platform/datetime.h"
#include "sortgrid_fixture.h"
#include "support/param_name.h"

using namespace sortgridtest;

namespace {

using Strings = std::vector<std::string>;

TEST(SortGridClick, NumbersSortByValueLeftAscendingRightDescending) {
  ShownGrid s;
  fill(s.grid, {{"Name", "Size"}, {"a", "10"}, {"b", "9"}, {"c", "100"}});
  s.click(1, 0);
  EXPECT_EQ(column(s.grid, 1), (Strings{"9", "10", "100"}));
  EXPECT_EQ(column(s.grid, 0), (Strings{"b", "a", "c"}));  // whole rows move
  s.click(1, 0, Qt::RightButton);
  EXPECT_EQ(column(s.grid, 1), (Strings{"100", "10", "9"}));
  // No toggling: a second left click sorts ascending again.
  s.click(1, 0);
  s.click(1, 0);
  EXPECT_EQ(column(s.grid, 1), (Strings{"9", "10", "100"}));
  EXPECT_EQ(row(s.grid, 0), (Strings{"Name", "Size"}));
}

TEST(SortGridClick, NumbersInOtherNotationsStillSortByValue) {
  ShownGrid s;
  fill(s.grid, {{"n"}, {" 2.5 "}, {"-3"}, {"+1e1"}, {".5"}, {"0"}});
  EXPECT_EQ(s.grid.DetectSortKind(0), skNumeric);
  s.click(0, 0);
  EXPECT_EQ(column(s.grid, 0), (Strings{"-3", "0", ".5", " 2.5 ", "+1e1"}));
}

TEST(SortGridClick, AColumnWithAWordSortsAsText) {
  ShownGrid s;
  fill(s.grid, {{"n"}, {"9"}, {"word"}, {"100"}, {"10"}});
  EXPECT_EQ(s.grid.DetectSortKind(0), skText);
  s.click(0, 0);
  EXPECT_EQ(column(s.grid, 0), (Strings{"10", "100", "9", "word"}));
}

TEST(SortGridSort, OwnerValuesOrderAColumnWhoseTextsDoNot) {
  // Texts in a day-first format with two-digit years; the owner knows the years.
  TSortGrid g;
  fill(g, {{"Name", "Date"}, {"a", "01/01/00"}, {"b", "01/01/49"}, {"c", "n/a"}, {"d", "01/01/80"}});
  const std::map<std::string, double> years{{"a", 2100}, {"b", 2049}, {"d", 1980}};
  std::vector<int> askedColumns;
  g.OnGetSortValue = [&](TSortGrid* grid, int col, int r, double& v) {
    askedColumns.push_back(col);
    if (col != 1) return false;
    auto it = years.find(grid->Cells(0, r).toStdString());
    if (it == years.end()) return false;  // c: no value, keeps its place
    v = it->second;
    return true;
  };
  g.SortByColumn(1, TSortOptions{});
  EXPECT_EQ(column(g, 0), (Strings{"d", "b", "c", "a"}));
  g.SortByColumn(1, TSortOptions{skAutomatic, soDescending});
  EXPECT_EQ(column(g, 0), (Strings{"a", "b", "c", "d"}));
  // A column the owner has no values for sorts by its texts; an explicit kind is
  // not overruled.
  g.SortByColumn(0, TSortOptions{skAutomatic, soDescending});
  EXPECT_EQ(column(g, 0), (Strings{"d", "c", "b", "a"}));
  askedColumns.clear();
  g.SortByColumn(1, TSortOptions{skText});
  EXPECT_TRUE(askedColumns.empty());
  EXPECT_EQ(column(g, 1), (Strings{"01/01/00", "01/01/49", "01/01/80", "n/a"}));
}

TEST(SortGridDetect, OneEmptyCellOrAnyNonNumberMakesTheColumnText) {
  TSortGrid g;
  fill(g, {{"n"}, {"1"}, {""}, {"3"}});
  EXPECT_EQ(g.DetectSortKind(0), skText);
  fill(g, {{"n"}, {"1"}, {"1,5"}, {"3"}});
  EXPECT_EQ(g.DetectSortKind(0), skText);
  fill(g, {{"n"}, {"1"}, {"inf"}, {"3"}});
  EXPECT_EQ(g.DetectSortKind(0), skText);
  fill(g, {{"n"}, {"0x1F"}, {"2"}});
  EXPECT_EQ(g.DetectSortKind(0), skText);
  fill(g, {{"n"}, {"10:20"}, {"09:05:59"}});
  EXPECT_EQ(g.DetectSortKind(0), skDateTime);  // a time alone is a date-time too
}

// Equal keys keep their previous relative order, whichever the direction.
TEST(SortGridClick, EqualKeysKeepTheirOrderInBothDirections) {
  ShownGrid s;
  fill(s.grid, {{"key", "id"}, {"b", "1"}, {"a", "2"}, {"b", "3"}, {"a", "4"}, {"b", "5"}});
  s.click(0, 0);
  EXPECT_EQ(column(s.grid, 1), (Strings{"2", "4", "1", "3", "5"}));
  s.click(0, 0, Qt::RightButton);
  EXPECT_EQ(column(s.grid, 1), (Strings{"1", "3", "5", "2", "4"}));
}

TEST(SortGridClick, WithoutCaseSensitivityCaseVariantsTieAndKeepTheirOrder) {
  ShownGrid s;
  fill(s.grid, {{"name", "id"}, {"zeta", "1"}, {"apple", "2"}, {"APPLE", "3"}, {"Apple", "4"}});
  ASSERT_FALSE(s.grid.CaseSensitive());
  s.click(0, 0);
  EXPECT_EQ(column(s.grid, 1), (Strings{"2", "3", "4", "1"}));
  s.click(0, 0, Qt::RightButton);
  EXPECT_EQ(column(s.grid, 1), (Strings{"1", "2", "3", "4"}));

  // Case-sensitive: the variants are distinct keys, ordered as the locale orders them.
  s.grid.setCaseSensitive(true);
  s.click(0, 0);
  const Strings names = column(s.grid, 0);
  EXPECT_EQ(names.back(), "zeta");
  for (std::size_t i = 0; i + 1 < names.size(); ++i)
    EXPECT_LT(QString::localeAwareCompare(QString::fromStdString(names[i]), QString::fromStdString(names[i + 1])), 0)
        << names[i] << " / " << names[i + 1];
}

enum class Blocked { Shift, Control, ColumnResize, OneDataRow, NoFixedRow, NotTitleRow, ClickSortingOff };

class SortGridNoSort : public ::testing::TestWithParam<Blocked> {};

TEST_P(SortGridNoSort, ClickLeavesTheOrderAlone) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  g.setOptions(g.Options() | goColSizing);
  fill(g, {{"Size", "x"}, {"30", "a"}, {"10", "b"}, {"20", "c"}});
  int sorts = 0;
  g.OnBeginSort = [&](TSortGrid*, int, TSortOptions&) { ++sorts; };
  switch (GetParam()) {
    case Blocked::Shift: s.click(0, 0, Qt::LeftButton, Qt::ShiftModifier); break;
    case Blocked::Control: s.click(0, 0, Qt::LeftButton, Qt::ControlModifier); break;
    case Blocked::ColumnResize: {
      const QRect title = g.CellRect(0, 0);
      const QPoint edge(title.right() + 1, title.center().y());
      QTest::mousePress(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge);
      QTest::mouseMove(g.viewport(), edge + QPoint(-20, 0));
      QTest::mouseRelease(g.viewport(), Qt::LeftButton, Qt::NoModifier, edge + QPoint(-20, 0));
      EXPECT_EQ(g.ColWidths(0), 64 - 20);  // the drag did size the column
      break;
    }
    case Blocked::OneDataRow:
      fill(g, {{"Size", "x"}, {"30", "a"}});
      s.click(0, 0);
      EXPECT_EQ(column(g, 0), Strings{"30"});
      EXPECT_FALSE(g.HasSortRecord());
      return;
    case Blocked::NoFixedRow:
      fill(g, {{"Size", "x"}, {"30", "a"}, {"10", "b"}, {"20", "c"}}, 0);
      s.click(0, 0);
      EXPECT_EQ(column(g, 0), (Strings{"Size", "30", "10", "20"}));
      EXPECT_EQ(sorts, 0);
      return;
    case Blocked::NotTitleRow: s.click(0, 2); break;
    case Blocked::ClickSortingOff:
      g.setClickSorting(false);
      s.click(0, 0);
      break;
  }
  EXPECT_EQ(column(g, 0), (Strings{"30", "10", "20"}));
  EXPECT_EQ(sorts, 0);
  // The same grid does sort on a plain click (the setup was not at fault).
  if (GetParam() != Blocked::ClickSortingOff) {
    s.click(0, 0);
    EXPECT_EQ(column(g, 0), (Strings{"10", "20", "30"}));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, SortGridNoSort,
                         ::testing::Values(Blocked::Shift, Blocked::Control, Blocked::ColumnResize, Blocked::OneDataRow,
                                           Blocked::NoFixedRow, Blocked::NotTitleRow, Blocked::ClickSortingOff),
                         testsupport::namedBy([](Blocked b) {
                           static const char* const names[] = {
                               "shift",        "control",       "column_resize",    "one_data_row",
                               "no_fixed_row", "not_title_row", "click_sorting_off"};
                           return std::string(names[static_cast<int>(b)]);
                         }));

TEST(SortGridClick, NoSortWithoutTheFocus) {
  ShownGrid s;
  fill(s.grid, {{"Size"}, {"3"}, {"1"}, {"2"}});
  s.grid.setFocusPolicy(Qt::NoFocus);
  s.grid.clearFocus();
  QApplication::processEvents();
  s.click(0, 0);
  EXPECT_EQ(column(s.grid, 0), (Strings{"3", "1", "2"}));
}

TEST(SortGridClick, CurrentCellFollowsItsData) {
  ShownGrid s;
  fill(s.grid, {{"Size", "Name"}, {"30", "c"}, {"10", "a"}, {"20", "b"}});
  s.click(1, 1);  // the "c" row
  ASSERT_EQ(s.grid.Row(), 1);
  s.click(0, 0);
  EXPECT_EQ(s.grid.Cells(1, s.grid.Row()), "c");
  EXPECT_EQ(s.grid.Row(), 3);
  EXPECT_EQ(s.grid.Col(), 1);
  s.click(0, 0, Qt::RightButton);
  EXPECT_EQ(s.grid.Row(), 1);
  EXPECT_EQ(s.grid.Cells(1, s.grid.Row()), "c");
}

// Where the platform asks for the context menu on the press, the menu waits for the
// release, so a right click on a title sorts first (as it does where menus open on
// the release).
TEST(SortGridClick, RightClickSortsBeforeTheContextMenuOpens) {
  ShownGrid s;
  TSortGrid& g = s.grid;
  fill(g, {{"Size"}, {"1"}, {"3"}, {"2"}});
  g.setContextMenuPolicy(Qt::CustomContextMenu);
  Strings events;
  QObject::connect(&g, &QWidget::customContextMenuRequested, [&](const QPoint& p) {
    events.push_back("menu");
    EXPECT_EQ(p, s.centre(0, 0));
  });
  g.OnEndSort = [&](TSortGrid*, int) { events.push_back("sort"); };
  const QPoint title = s.centre(0, 0);
  QTest::mousePress(g.viewport(), Qt::RightButton, Qt::NoModifier, title);
  QContextMenuEvent menu(QContextMenuEvent::Mouse, title, g.viewport()->mapToGlobal(title));
  QApplication::sendEvent(g.viewport(), &menu);
  EXPECT_TRUE(events.empty());
  QTest::mouseRelease(g.viewport(), Qt::RightButton, Qt::NoModifier, title);
  QApplication::processEvents();
  EXPECT_EQ(events, (Strings{"sort", "menu"}));
  EXPECT_EQ(column(g, 0), (Strings{"3", "2", "1"}));
  // A menu asked for without a button held (the menu key) opens at once.
  QContextMenuEvent key(QContextMenuEvent::Keyboard, title, g.viewport()->mapToGlobal(title));
  QApplication::sendEvent(g.viewport(), &key);
  EXPECT_EQ(events.size(), 3u);
}

TEST(SortGridClick, HandlersSeeAndChangeTheOptions) {
  ShownGrid s;
  fill(s.grid, {{"Size", "Name"}, {"9", "c"}, {"10", "a"}, {"100", "b"}});
  std::vector<std::string> calls;
  s.grid.OnClickSort = [&](TSortGrid* g, int c, int r, TSortOptions& o) {
    EXPECT_EQ(g, &s.grid);
    EXPECT_EQ(o.SortKind, skAutomatic);
    EXPECT_EQ(o.SortOrder, soAscending);
    EXPECT_EQ(o.CompareProc, nullptr);
    calls.push_back("click " + std::to_string(c) + "," + std::to_string(r));
    o.SortKind = skText;  // sort the numbers as strings
  };
  s.grid.OnBeginSort = [&](TSortGrid*, int c, TSortOptions& o) {
    EXPECT_EQ(o.SortKind, skText);
    calls.push_back("begin " + std::to_string(c));
    o.SortOrder = soDescending;
  };
  s.grid.OnEndSort = [&](TSortGrid*, int c) { calls.push_back("end " + std::to_string(c)); };
  s.click(0, 0);
  EXPECT_EQ(calls, (Strings{"click 0,0", "begin 0", "end 0"}));
  EXPECT_EQ(column(s.grid, 0), (Strings{"9", "100", "10"}));
}

// A forced numeric sort over texts that are not numbers: those rows stay where they
// are, the numbers are ordered around them.
TEST(SortGridSort, TextsThatDoNotConvertStayInPlace) {
  TSortGrid g;
  fill(g, {{"n"}, {"5"}, {"x"}, {"1"}, {"y"}, {"3"}});
  g.SortByColumn(0, {skNumeric, soAscending, false, nullptr});
  EXPECT_EQ(column(g, 0), (Strings{"1", "x", "3", "y", "5"}));
  g.SortByColumn(0, {skNumeric, soDescending, false, nullptr});
  EXPECT_EQ(column(g, 0), (Strings{"5", "x", "3", "y", "1"}));
}

int lengthOrder(const QString& a, const QString& b) { return static_cast<int>(a.size() - b.size()); }
int coinFlip(const QString&, const QString&) { return QRandomGenerator::global()->bounded(3) - 1; }

TEST(SortGridSort, CustomComparisonOrdersAndAContradictoryOneLosesNoRow) {
  TSortGrid g;
  fill(g, {{"n"}, {"ccc"}, {"a"}, {"bb"}, {"dd"}});
  g.SortByColumn(0, {skCustom, soAscending, true, &lengthOrder});
  EXPECT_EQ(column(g, 0), (Strings{"a", "bb", "dd", "ccc"}));

  Table t{{"n"}};
  for (int i = 0; i < 500; ++i) t.push_back({std::to_string(i)});
  fill(g, t);
  g.SortByColumn(0, {skCustom, soAscending, true, &coinFlip});
  Strings after = column(g, 0);
  std::sort(after.begin(), after.end());
  Strings before;
  for (int i = 0; i < 500; ++i) before.push_back(std::to_string(i));
  std::sort(before.begin(), before.end());
  EXPECT_EQ(after, before);
}

TEST(SortGridSort, RowsMoveWholeWithTheirObjectsAndFixedColumns) {
  TSortGrid g;
  fill(g, {{"#", "k"}, {"r1", "b"}, {"r2", "c"}, {"r3", "a"}});
  g.setFixedCols(1);
  int tags[3];
  for (int r = 1; r <= 3; ++r) g.setObjects(1, r, &tags[r - 1]);
  g.SortByColumn(1, {});
  EXPECT_EQ(column(g, 0), (Strings{"r3", "r1", "r2"}));
  EXPECT_EQ(g.Objects(1, 1), &tags[2]);
  EXPECT_EQ(g.Objects(1, 2), &tags[0]);
  EXPECT_EQ(g.Objects(1, 3), &tags[1]);
}

TEST(SortGridSort, NothingHappensWhileTheEditorIsOpen) {
  ShownGrid s;
  fill(s.grid, {{"n"}, {"2"}, {"1"}});
  s.grid.setOptions(s.grid.Options() | goEditing);
  s.grid.setEditorMode(true);
  ASSERT_TRUE(s.grid.EditorMode());
  s.grid.SortByColumn(0, {});
  EXPECT_EQ(column(s.grid, 0), (Strings{"2", "1"}));
}

TEST(SortGridRestore, UndoesTheLastSortAndPutsTheCurrentCellBack) {
  ShownGrid s;
  fill(s.grid, {{"Size", "Name"}, {"30", "c"}, {"10", "a"}, {"20", "b"}, {"10", "d"}});
  s.click(1, 2);  // "a"
  s.click(0, 0);
  ASSERT_EQ(column(s.grid, 1), (Strings{"a", "d", "b", "c"}));
  ASSERT_TRUE(s.grid.HasSortRecord());
  s.grid.RestoreUnsortedOrder();
  EXPECT_EQ(column(s.grid, 1), (Strings{"c", "a", "b", "d"}));
  EXPECT_EQ(s.grid.Cells(1, s.grid.Row()), "a");
  EXPECT_FALSE(s.grid.HasSortRecord());
  s.grid.RestoreUnsortedOrder();  // only once
  EXPECT_EQ(column(s.grid, 1), (Strings{"c", "a", "b", "d"}));
}

TEST(SortGridRestore, DoesNothingOnceRowsWereInsertedOrDeleted) {
  TSortGrid g;
  fill(g, {{"n"}, {"3"}, {"1"}, {"2"}});
  g.SortByColumn(0, {});
  g.InsertRow(2);
  g.RestoreUnsortedOrder();
  EXPECT_EQ(column(g, 0), (Strings{"1", "", "2", "3"}));

  g.SortByColumn(0, {skNumeric, soDescending, false, nullptr});  // "" stays in place
  ASSERT_EQ(column(g, 0), (Strings{"3", "", "2", "1"}));
  g.DeleteRow(2);
  g.RestoreUnsortedOrder();
  EXPECT_EQ(column(g, 0), (Strings{"3", "2", "1"}));

  // Also after an insert and a delete that bring the row count back.
  fill(g, {{"n"}, {"3"}, {"1"}, {"2"}});
  g.SortByColumn(0, {});
  g.InsertRow(1);
  g.DeleteRow(3);
  const Strings before = column(g, 0);
  EXPECT_FALSE(g.HasSortRecord());
  g.RestoreUnsortedOrder();
  EXPECT_EQ(column(g, 0), before);
}

// The "Modified" column in every date and time format the settings offer sorts by
// time, not by text.
struct DateFormatCase {
  const char* date;
  const char* time;
};

class SortGridDates : public ::testing::TestWithParam<DateFormatCase> {
 protected:
  void TearDown() override { platform::setDisplayFormats("yyyy/mm/dd", "hh:mm"); }
};

TEST_P(SortGridDates, ModifiedColumnSortsByTime) {
  const DateFormatCase f = GetParam();
  platform::setDisplayFormats(f.date, f.time);
  const std::string format = std::string(f.date) + " " + f.time;
  // Chosen so that text order and time order differ in every format; minutes and
  // seconds are zero because "mm:hh" writes neither.
  const std::vector<platform::DateTime> times = {
      {2003, 1, 2, 10, 0, 0}, {1999, 12, 31, 23, 0, 0}, {2003, 1, 2, 9, 0, 0},
      {2010, 2, 1, 0, 0, 0},  {1985, 6, 15, 12, 0, 0},  {2003, 11, 1, 8, 0, 0},
  };
  TSortGrid g;
  Table t{{"Modified", "id"}};
  for (std::size_t i = 0; i < times.size(); ++i)
    t.push_back({platform::formatDateTime(format, times[i]), std::to_string(i)});
  fill(g, t);
  EXPECT_EQ(g.DetectSortKind(0), skDateTime) << format;
  g.SortByColumn(0, {});
  std::vector<std::size_t> expected(times.size());
  for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = i;
  std::stable_sort(expected.begin(), expected.end(), [&](std::size_t a, std::size_t b) {
    return platform::toSerial(times[a]) < platform::toSerial(times[b]);
  });
  Strings want;
  for (std::size_t i : expected) want.push_back(std::to_string(i));
  EXPECT_EQ(column(g, 1), want) << format;
}

INSTANTIATE_TEST_SUITE_P(
    SettingsFormats, SortGridDates,
    ::testing::Values(DateFormatCase{"yy/mm/dd", "hh:mm:ss"}, DateFormatCase{"dd/mm/yy", "hh:mm:ss"},
                      DateFormatCase{"yyyy/mm/dd", "hh:mm:ss"}, DateFormatCase{"dd/mm/yyyy", "hh:mm:ss"},
                      DateFormatCase{"yy/mm/dd", "hh:mm"}, DateFormatCase{"dd/mm/yy", "hh:mm"},
                      DateFormatCase{"yyyy/mm/dd", "hh:mm"}, DateFormatCase{"dd/mm/yyyy", "hh:mm"},
                      DateFormatCase{"yyyy/mm/dd", "mm:hh"}, DateFormatCase{"dd/mm/yyyy", "mm:hh"}),
    testsupport::namedBy([](const DateFormatCase& c) { return std::string(c.date) + "_" + c.time; }));

// A text sort orders exactly as comparing the upper-cased texts with
// QString::localeAwareCompare would, under the C locale (code-unit order) and under
// collating locales, with accents, "ß", digits, punctuation, empty texts and
// characters beyond the first plane; ties keep their order.
class SortGridLocales : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { saved_ = QLocale(); }
  void TearDown() override { QLocale::setDefault(saved_); }
  QLocale saved_;
};

TEST_P(SortGridLocales, TextOrderEqualsTheLocaleAwareComparison) {
  QLocale::setDefault(QLocale(QString::fromLatin1(GetParam())));
  // The locale is in effect: collating locales put "a" before "B", code units do not.
  ASSERT_EQ(QString::localeAwareCompare("a", "B") < 0, std::string(GetParam()) != "C");
  const QString alphabet = QString::fromUtf8("aAbzZöÖåÅäÄßéEe0 9-_.~") + QString::fromUcs4(U"\U0001F600\uE000");
  QRandomGenerator rng(11);
  Table t{{"text", "id"}};
  for (int i = 0; i < 3000; ++i) {
    QString text;
    for (int k = static_cast<int>(rng.bounded(6)); k > 0; --k) text += alphabet.mid(rng.bounded(alphabet.size()), 1);
    t.push_back({text.toStdString(), std::to_string(i)});
  }
  for (bool caseSensitive : {false, true}) {
    TSortGrid g;
    fill(g, t);
    g.SortByColumn(0, {skText, soAscending, caseSensitive, nullptr});
    std::vector<int> want(t.size() - 1);
    for (std::size_t i = 0; i < want.size(); ++i) want[i] = static_cast<int>(i);
    auto key = [&](int i) {
      const QString s = QString::fromStdString(t[static_cast<std::size_t>(i) + 1][0]);
      return caseSensitive ? s : s.toUpper();
    };
    std::stable_sort(want.begin(), want.end(),
                     [&](int a, int b) { return QString::localeAwareCompare(key(a), key(b)) < 0; });
    Strings expected;
    for (int i : want) expected.push_back(std::to_string(i));
    EXPECT_EQ(column(g, 1), expected) << GetParam() << (caseSensitive ? " case-sensitive" : "");
  }
}

INSTANTIATE_TEST_SUITE_P(Locales, SortGridLocales, ::testing::Values("C", "de_DE", "sv_SE"),
                         testsupport::namedBy([](const char* locale) { return std::string(locale); }));

// A listing of 100,000 rows: every column comes out in the order the comparison
// defines, ties in their previous order.
TEST(SortGridLarge, HundredThousandRowsSortCorrectly) {
  constexpr int kRows = 100000;
  platform::setDisplayFormats("dd/mm/yyyy", "hh:mm");
  QRandomGenerator rng(5);
  TSortGrid g;
  g.setColCount(4);
  g.setRowCount(kRows + 1);
  g.setFixedCols(0);
  g.setCells(0, 0, "Filename");
  g.setCells(1, 0, "Size");
  g.setCells(2, 0, "Modified");
  g.setCells(3, 0, "id");
  static const char* const kWords[] = {"alpha", "Beta", "GAMMA", "delta", "Émile", "zeta", "eta", "Theta"};
  std::vector<double> serial(kRows + 1);
  for (int r = 1; r <= kRows; ++r) {
    g.setCells(0, r, QString("%1_%2.txt").arg(kWords[rng.bounded(8)]).arg(rng.bounded(5000)));
    g.setCells(1, r, QString::number(rng.bounded(20000)));
    const platform::DateTime dt{1990 + static_cast<int>(rng.bounded(30)), 1 + static_cast<int>(rng.bounded(12)),
                                1 + static_cast<int>(rng.bounded(28)),    static_cast<int>(rng.bounded(24)),
                                static_cast<int>(rng.bounded(60)),        0};
    g.setCells(2, r, QString::fromStdString(platform::formatDateTime("dd/mm/yyyy hh:mm", dt)));
    g.setCells(3, r, QString::number(r));
  }
  // Checks that the column's keys never decrease and that equal keys keep the order
  // of the id they had before this sort.
  auto checkOrder = [&](int col, auto key, auto equal, const std::vector<int>& prevPos) {
    for (int r = 2; r <= kRows; ++r) {
      const QString a = g.Cells(col, r - 1), b = g.Cells(col, r);
      ASSERT_FALSE(key(b, a)) << "rows " << r - 1 << "," << r << ": " << a.toStdString() << " > " << b.toStdString();
      if (equal(a, b)) {
        ASSERT_LT(prevPos[g.Cells(3, r - 1).toUInt()], prevPos[g.Cells(3, r).toUInt()]) << "tie order at row " << r;
      }
    }
  };
  // Row of each id before a sort.
  auto positions = [&] {
    std::vector<int> pos(kRows + 1);
    for (int r = 1; r <= kRows; ++r) pos[g.Cells(3, r).toUInt()] = r;
    return pos;
  };

  auto prev = positions();
  g.SortByColumn(1, {});
  checkOrder(
      1, [](const QString& b, const QString& a) { return b.toDouble() < a.toDouble(); },
      [](const QString& a, const QString& b) { return a.toDouble() == b.toDouble(); }, prev);

  prev = positions();
  g.SortByColumn(2, {});
  auto when = [](const QString& s) { return platform::toSerial(*platform::parseDateTime(s.toStdString())); };
  checkOrder(
      2, [&](const QString& b, const QString& a) { return when(b) < when(a); },
      [&](const QString& a, const QString& b) { return when(a) == when(b); }, prev);

  prev = positions();
  g.SortByColumn(0, {});
  checkOrder(
      0, [](const QString& b, const QString& a) { return QString::localeAwareCompare(b.toUpper(), a.toUpper()) < 0; },
      [](const QString& a, const QString& b) { return QString::localeAwareCompare(a.toUpper(), b.toUpper()) == 0; },
      prev);
  platform::setDisplayFormats("yyyy/mm/dd", "hh:mm");
}

}  // namespace

// TSortGrid with an archive listing of 100,000 rows and the six listing columns
// (Filename, Packed, Size, Modified, Path, Ratio), in a shown window on the offscreen
// platform:
//   BM_Fill         setRowCount once, then every cell, then the first paint; the
//                   texts are made beforehand, so this is the grid's own cost
//   BM_FillListing  the main window's way: one row at a time (RowCount + 1), each
//                   text formatted as it is written, then the first paint
//   BM_ClickSort    a title click's sort (automatic kind, ascending, not case
//                   sensitive) of a numeric, a date-time and two text columns,
//                   each from the same shuffled order (restored untimed)
//   BM_MemoryPerRow resident memory and heap held per filled row
//   BM_ColumnResize a change of one column's width, then the repaint: the grid
//                   alone, and (BM_ListingColumnResize) the main window's listing,
//                   where the width is also stored in the settings file, which is
//                   then read again and the layout re-applied; every cell is
//                   checked to have survived
//   BM_PeerItemModel* the same listing through Qt's item route (QStandardItemModel
//                   in a QTableView): fill, and its sort of the Size and Filename
//                   columns (from descending order; its sort is case-sensitive)
// Every sort is checked for order once before it is timed.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <QApplication>
#include <QRandomGenerator>
#include <QStandardItemModel>
#include <QTableView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/mainunit.h"
#include "platform/datetime.h"
#include "platform/ini.h"
#include "widgets/sortgrid.h"

namespace {

constexpr int kRows = 100000;
constexpr int kCols = 6;
const char* const kTitles[kCols] = {"Filename", "Packed", "Size", "Modified", "Path", "Ratio"};

struct Entry {
  QString name, path, modified;
  qint64 size = 0, packed = 0;
};

// A reproducible listing: names and folders from a small vocabulary (so the
// Path column has many equal keys), sizes up to 50 MB, dates over 30 years.
const std::vector<Entry>& entries() {
  static const std::vector<Entry> list = [] {
    static const char* const kWords[] = {"report", "Image", "setup",     "README", "data", "Backup",
                                         "notes",  "lib",   "Übersicht", "index",  "main", "Test"};
    static const char* const kExt[] = {".txt", ".jpg", ".dll", ".exe", ".htm", ".doc"};
    QRandomGenerator rng(2024);
    std::vector<Entry> out(kRows);
    for (Entry& e : out) {
      e.name = QString("%1_%2%3").arg(kWords[rng.bounded(12)]).arg(rng.bounded(100000)).arg(kExt[rng.bounded(6)]);
      e.path = QString("%1/%2").arg(kWords[rng.bounded(12)], kWords[rng.bounded(12)]);
      e.size = rng.bounded(50000000);
      e.packed = e.size / (1 + rng.bounded(4));
      const platform::DateTime dt{1995 + static_cast<int>(rng.bounded(30)), 1 + static_cast<int>(rng.bounded(12)),
                                  1 + static_cast<int>(rng.bounded(28)),    static_cast<int>(rng.bounded(24)),
                                  static_cast<int>(rng.bounded(60)),        2 * static_cast<int>(rng.bounded(30))};
      e.modified = QString::fromStdString(platform::formatDateTime("yyyy/mm/dd hh:mm", dt));
    }
    return out;
  }();
  return list;
}

QString ratio(const Entry& e) {
  return e.size && e.packed ? QString::number(e.packed * 100 / e.size) + "%" : QStringLiteral("0%");
}

std::unique_ptr<TSortGrid> shownGrid() {
  auto g = std::make_unique<TSortGrid>();
  g->resize(800, 600);
  g->setDefaultRowHeight(16);
  g->setFixedCols(0);
  g->show();
  QApplication::processEvents();
  return g;
}

void titles(TSortGrid& g) {
  for (int c = 0; c < kCols; ++c) g.setCells(c, 0, kTitles[c]);
}

// All texts made beforehand, one vector per column.
const std::vector<std::vector<QString>>& texts() {
  static const std::vector<std::vector<QString>> t = [] {
    std::vector<std::vector<QString>> cols(kCols);
    for (const Entry& e : entries()) {
      cols[0].push_back(e.name);
      cols[1].push_back(QString::number(e.packed));
      cols[2].push_back(QString::number(e.size));
      cols[3].push_back(e.modified);
      cols[4].push_back(e.path);
      cols[5].push_back(ratio(e));
    }
    return cols;
  }();
  return t;
}

void fillPrepared(TSortGrid& g) {
  const auto& t = texts();
  g.setColCount(kCols);
  g.setRowCount(kRows + 1);
  g.setFixedRows(1);
  titles(g);
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c) g.setCells(c, r + 1, t[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)]);
}

void fillListing(TSortGrid& g) {
  g.setColCount(kCols);
  g.setFixedRows(0);
  g.setRowCount(1);
  titles(g);
  for (const Entry& e : entries()) {
    g.setRowCount(g.RowCount() + 1);
    g.setFixedRows(1);
    const int r = g.RowCount() - 1;
    g.setCells(0, r, e.name);
    g.setCells(1, r, QString::number(e.packed));
    g.setCells(2, r, QString::number(e.size));
    g.setCells(3, r, QString(e.modified));
    g.setCells(4, r, e.path);
    g.setCells(5, r, ratio(e));
  }
}

void BM_Fill(benchmark::State& state) {
  texts();
  for (auto _ : state) {
    state.PauseTiming();
    auto g = shownGrid();
    state.ResumeTiming();
    fillPrepared(*g);
    QApplication::processEvents();  // the first paint
    state.PauseTiming();
    if (g->Cells(5, kRows) != ratio(entries().back())) state.SkipWithError("fill lost a cell");
    g.reset();
    state.ResumeTiming();
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_Fill)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FillListing(benchmark::State& state) {
  entries();
  for (auto _ : state) {
    state.PauseTiming();
    auto g = shownGrid();
    state.ResumeTiming();
    fillListing(*g);
    QApplication::processEvents();
    state.PauseTiming();
    if (g->RowCount() != kRows + 1 || g->FixedRows() != 1) state.SkipWithError("listing fill went wrong");
    g.reset();
    state.ResumeTiming();
  }
  state.counters["rows"] = kRows;
}
BENCHMARK(BM_FillListing)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Checks that column col is in order under the comparison the sort uses.
bool ordered(const TSortGrid& g, int col, TSortKind kind) {
  for (int r = 2; r < g.RowCount(); ++r) {
    const QString a = g.Cells(col, r - 1), b = g.Cells(col, r);
    bool ok = true;
    if (kind == skNumeric) ok = a.toDouble() <= b.toDouble();
    if (kind == skDateTime)
      ok = platform::toSerial(*platform::parseDateTime(a.toStdString())) <=
           platform::toSerial(*platform::parseDateTime(b.toStdString()));
    if (kind == skText) ok = QString::localeAwareCompare(a.toUpper(), b.toUpper()) <= 0;
    if (!ok) return false;
  }
  return true;
}

void BM_ClickSort(benchmark::State& state) {
  const int col = static_cast<int>(state.range(0));
  auto g = shownGrid();
  fillPrepared(*g);
  QApplication::processEvents();
  const TSortKind kind = g->DetectSortKind(col);
  const TSortOptions click{skAutomatic, soAscending, false, nullptr};
  g->SortByColumn(col, click);
  if (!ordered(*g, col, kind)) {
    state.SkipWithError("column not in order after the sort");
    return;
  }
  g->RestoreUnsortedOrder();
  for (auto _ : state) {
    g->SortByColumn(col, click);
    state.PauseTiming();
    g->RestoreUnsortedOrder();
    state.ResumeTiming();
  }
  static const char* const kKinds[] = {"automatic", "text", "numeric", "date-time", "time", "custom"};
  state.SetLabel(std::string(kTitles[col]) + " (" + kKinds[kind] + ")");
}
BENCHMARK(BM_ClickSort)->Arg(2)->Arg(3)->Arg(0)->Arg(4)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The peer: Qt's own item route, a QStandardItemModel with one item per cell shown
// in a QTableView, numbers stored as numbers so that its sort compares them as such.
// The model is filled before the view is attached (filled while shown, one
// dataChanged per item, it took over 100 s here).
void fillStandardModel(QStandardItemModel& m) {
  m.setColumnCount(kCols);
  m.setRowCount(kRows);
  for (int c = 0; c < kCols; ++c) m.setHorizontalHeaderItem(c, new QStandardItem(kTitles[c]));
  int r = 0;
  for (const Entry& e : entries()) {
    m.setItem(r, 0, new QStandardItem(e.name));
    auto* packed = new QStandardItem;
    packed->setData(e.packed, Qt::DisplayRole);
    m.setItem(r, 1, packed);
    auto* size = new QStandardItem;
    size->setData(e.size, Qt::DisplayRole);
    m.setItem(r, 2, size);
    m.setItem(r, 3, new QStandardItem(e.modified));
    m.setItem(r, 4, new QStandardItem(e.path));
    m.setItem(r, 5, new QStandardItem(ratio(e)));
    ++r;
  }
}

void BM_PeerItemModelFill(benchmark::State& state) {
  entries();
  for (auto _ : state) {
    state.PauseTiming();
    auto m = std::make_unique<QStandardItemModel>();
    auto view = std::make_unique<QTableView>();
    view->resize(800, 600);
    view->show();
    QApplication::processEvents();
    state.ResumeTiming();
    // Filled before the view sees it: filling a shown model item by item costs
    // minutes at this size.
    fillStandardModel(*m);
    view->setModel(m.get());
    QApplication::processEvents();
    state.PauseTiming();
    view.reset();
    m.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PeerItemModelFill)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_PeerItemModelSort(benchmark::State& state) {
  const int col = static_cast<int>(state.range(0));
  // Deliberately never destroyed: a QStandardItemModel of this size takes minutes
  // to destroy once sorted (each item looks itself up in its parent's list).
  auto* m = new QStandardItemModel;
  fillStandardModel(*m);
  auto* view = new QTableView;
  view->resize(800, 600);
  view->setModel(m);
  view->show();
  QApplication::processEvents();
  for (auto _ : state) {
    m->sort(col, Qt::AscendingOrder);
    QApplication::processEvents();
    state.PauseTiming();
    m->sort(col, Qt::DescendingOrder);  // start the next round from another order
    state.ResumeTiming();
  }
  view->hide();
  state.SetLabel(kTitles[col]);
}
BENCHMARK(BM_PeerItemModelSort)->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond)->MinTime(2.0);

long residentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * sysconf(_SC_PAGESIZE);
}

// Memory the grid holds per row, with texts formatted during the fill so that the
// grid owns every one of them.
void BM_MemoryPerRow(benchmark::State& state) {
  entries();
  double rssPerRow = 0, heapPerRow = 0;
  for (auto _ : state) {
    malloc_trim(0);
    const long rss0 = residentBytes();
    const auto heap0 = mallinfo2().uordblks;
    auto g = std::make_unique<TSortGrid>();
    fillListing(*g);
    rssPerRow = double(residentBytes() - rss0) / kRows;
    heapPerRow = (double(mallinfo2().uordblks) - double(heap0)) / kRows;
    g.reset();
  }
  state.counters["rss_bytes_per_row"] = rssPerRow;
  state.counters["heap_bytes_per_row"] = heapPerRow;
}
BENCHMARK(BM_MemoryPerRow)->Unit(benchmark::kMillisecond)->Iterations(3);

// True when every data cell still holds the text it was filled with.
bool cellsIntact(const TSortGrid& g) {
  const auto& t = texts();
  if (g.RowCount() != kRows + 1 || g.ColCount() != kCols) return false;
  for (int c = 0; c < kCols; ++c)
    for (int r = 0; r < kRows; r += 997)
      if (g.Cells(c, r + 1) != t[static_cast<std::size_t>(c)][static_cast<std::size_t>(r)]) return false;
  return g.Cells(kCols - 1, kRows) == t[kCols - 1][kRows - 1];
}

void resizeLoop(benchmark::State& state, TSortGrid& g) {
  int width = 120;
  for (auto _ : state) {
    width = width == 120 ? 121 : 120;
    g.setColWidths(0, width);
    QApplication::processEvents();  // the repaint
  }
  if (!cellsIntact(g) || g.ColWidths(0) != width) state.SkipWithError("the resize changed more than the width");
  state.counters["rows"] = kRows;
}

void BM_ColumnResize(benchmark::State& state) {
  auto g = shownGrid();
  fillPrepared(*g);
  QApplication::processEvents();
  resizeLoop(state, *g);
}
BENCHMARK(BM_ColumnResize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ListingColumnResize(benchmark::State& state) {
  // The six listing columns, all shown, in the bench's order.
  const std::string ini = std::string(std::getenv("KELVORY_HOME")) + "/Kelvory.Ini";
  const int widths[kCols] = {80, 84, 84, 100, 100, 30};
  for (int c = 0; c < kCols; ++c)
    platform::ini::writeString(ini, "USER", std::to_string(c + 1),
                               std::string(kTitles[c]) + ";True;" + std::to_string(widths[c]));
  dialogs::TSettings settings(ini);
  TMainform form(settings, {});
  form.resize(800, 600);
  form.show();
  QApplication::processEvents();
  fillPrepared(*form.StringGrid1);
  QApplication::processEvents();
  resizeLoop(state, *form.StringGrid1);
  if (platform::ini::readString(ini, "USER", "1", "") !=
      "Filename;True;" + std::to_string(form.StringGrid1->ColWidths(0)))
    state.SkipWithError("the width was not stored");
}
BENCHMARK(BM_ListingColumnResize)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The main window's settings file goes to a folder of the bench's own.
  char home[] = "/tmp/kv-grid-bench-XXXXXX";
  const bool ownHome = !std::getenv("KELVORY_HOME") && mkdtemp(home);
  if (ownHome) setenv("KELVORY_HOME", home, 1);
  QApplication app(argc, argv);
  platform::setDisplayFormats("yyyy/mm/dd", "hh:mm");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (ownHome) std::filesystem::remove_all(home);
  return 0;
}

// The archive listing of the main window: one title row and one row per file entry,
// the column layout kept in the settings, and the total and selection lines.
#include <QLabel>
#include <algorithm>

#include "app/columnlayout.h"
#include "app/mainunit.h"
#include "platform/ui.h"
#include "platform/datetime.h"
#include "platform/routines.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using widgets::qs;

namespace {

// The name after the last "/" or "\", and everything before it.
std::string namePart(const std::string& name) {
  auto p = name.find_last_of("/\\");
  return p == std::string::npos ? name : name.substr(p + 1);
}

std::string pathPart(const std::string& name) {
  auto p = name.find_last_of("/\\");
  return p == std::string::npos ? std::string() : name.substr(0, p);
}

// One group separator: a blank before the last three digits.
QString grouped(std::int64_t n) {
  QString digits = QString::number(n);
  int cut = std::max<int>(0, static_cast<int>(digits.size()) - 3);
  return digits.left(cut) + QLatin1Char(' ') + digits.mid(cut);
}

enum class Content { None, Filename, Packed, Size, Modified, Ratio, Path };

Content contentOf(const QString& title) {
  static const std::pair<const char*, Content> kTitles[] = {
      {"Filename", Content::Filename}, {"Packed", Content::Packed}, {"Size", Content::Size},
      {"Modified", Content::Modified}, {"Ratio", Content::Ratio},   {"Path", Content::Path}};
  for (const auto& [t, c] : kTitles)
    if (title == QLatin1String(t)) return c;
  return Content::None;
}

}  // namespace

QString TMainform::TotalsText(std::int64_t files, std::int64_t bytes) {
  bool kb = bytes >= 1000;
  return QString::number(files) + QStringLiteral(" files,") + QLatin1Char(' ') + grouped(kb ? bytes / 1000 : bytes) +
         QLatin1Char(' ') + (kb ? QStringLiteral("KB") : QStringLiteral("Bytes"));
}

void TMainform::FillListing() {
  ListedFiles = 0;
  ListedBytes = 0;
  rowNames_.clear();
  rowTimes_.clear();
  StringGrid1->setUpdatesEnabled(false);
  // Folder entries get no row: count the rows first and size the grid once.
  const auto& entries = ZipEngine1.Entries();
  int files = 0;
  if (ZipEngine1.EntryCount() > 0)
    for (const auto& e : entries)
      if (!namePart(e->FileName).empty()) ++files;
  if (ZipEngine1.EntryCount() == 0) {
    // The title row and one empty row.
    StringGrid1->setRowCount(2);
    StringGrid1->setFixedRows(1);
    for (int c = 0; c < StringGrid1->ColCount(); ++c) StringGrid1->setCells(c, 1, QString());
    StringGrid1->setObjects(0, 1, nullptr);
  } else {
    StringGrid1->setFixedRows(0);
    StringGrid1->setRowCount(files + 1);
    if (files > 0) StringGrid1->setFixedRows(1);
  }
  // The cells follow the titles the layout put in row 0.
  std::vector<std::pair<int, Content>> columns;
  for (int c = 0; c < StringGrid1->ColCount(); ++c)
    if (Content k = contentOf(StringGrid1->Cells(c, 0)); k != Content::None) columns.emplace_back(c, k);
  const std::string format = Settings.co_DateFormat + " " + Settings.co_Timeformat;
  int row = 0;
  for (const auto& e : entries) {
    if (files == 0) break;
    std::string name = namePart(e->FileName);
    if (name.empty()) continue;
    ++row;
    ++ListedFiles;
    const std::uint64_t size = e->UncompressedSize64, packed = e->CompressedSize64;
    ListedBytes += static_cast<std::int64_t>(size);
    rowNames_.push_back(e->FileName);
    rowTimes_.push_back(e->DosDateTime());
    for (const auto& [col, content] : columns) {
      QString text;
      switch (content) {
        case Content::Filename: text = qs(name); break;
        case Content::Size: text = QString::number(size); break;
        case Content::Packed: text = QString::number(packed); break;
        case Content::Modified: {
          auto dt = platform::dosToDateTime(e->DosDateTime());
          text = dt ? qs(platform::formatDateTime(format, *dt)) : QStringLiteral("Unknown");
          break;
        }
        case Content::Ratio:
          text = size != 0 && packed != 0
                     ? QString::number(static_cast<std::uint64_t>(static_cast<long double>(packed) / size * 100)) +
                           QLatin1Char('%')
                     : QStringLiteral("0%");
          break;
        case Content::Path: text = qs(pathPart(e->FileName)); break;
        case Content::None: break;
      }
      StringGrid1->setCells(col, row, text);
    }
    // Column 0 of the row carries the row's tag, so sorting keeps it with the row.
    StringGrid1->setObjects(0, row, reinterpret_cast<void*>(static_cast<std::intptr_t>(rowNames_.size())));
  }
  StringGrid1->setUpdatesEnabled(true);
  ShowTotals();
  // Whatever was selected belonged to the listing just replaced.
  Panel3->clear();
}

void TMainform::ClearGrid() {
  for (int c = 0; c < StringGrid1->ColCount(); ++c) StringGrid1->setCells(c, 1, QString());
  StringGrid1->setObjects(0, 1, nullptr);
  StringGrid1->setRowCount(1);
  StringGrid1->setFixedRows(0);
  StringGrid1->setRowCount(1);
  rowNames_.clear();
  rowTimes_.clear();
}

void TMainform::ApplyColumnLayout() {
  LayoutLoading = true;
  if (StringGrid1->RowCount() < 2) StringGrid1->setRowCount(2);
  StringGrid1->setFixedRows(1);
  const app::ColumnPlan plan = app::PlanColumnLayout(Settings.ColumnDefs);
  const int count = std::max(1, static_cast<int>(plan.columns.size()));
  // Shrinking and growing again would drop the cells of every row.
  if (StringGrid1->ColCount() != count) StringGrid1->setColCount(count);
  StringGrid1->setCells(0, 0, QString());
  for (std::size_t c = 0; c < plan.columns.size(); ++c) {
    StringGrid1->setCells(static_cast<int>(c), 0, qs(plan.columns[c].title));
    StringGrid1->setColWidths(static_cast<int>(c), plan.columns[c].width);
  }
  LayoutLoading = false;
  // Each line is reported once a run: the layout is applied again after every save.
  std::string problems;
  for (const std::string& p : plan.problems)
    if (reportedLayoutProblems_.insert(p).second) problems += "\n" + p;
  if (!problems.empty())
    platform::ui().message(
        platform::MsgKind::Warning, {},
        "Some column settings in " + Settings.FileName() + " cannot be used as they stand:" + problems, platform::kOk);
}

void TMainform::DefaultColumnLayout() {
  LayoutLoading = true;
  StringGrid1->setRowCount(2);
  StringGrid1->setFixedRows(1);
  StringGrid1->setColCount(5);
  const char* const titles[] = {"Filename", "Packed", "Size", "Modified", "Path"};
  for (int c = 0; c < 5; ++c) {
    StringGrid1->setCells(c, 0, QString::fromLatin1(titles[c]));
    StringGrid1->setColWidths(c, app::FactoryColumnWidth(titles[c]));
  }
  Settings.SetFactoryColumns();
  LayoutLoading = false;
  StringGrid1ColumnWidthsChanged();
}

void TMainform::StringGrid1ColumnWidthsChanged() {
  if (LayoutLoading) return;
  // A column dragged to nothing or past any screen is held at the nearest bound, so
  // the stored width is one the next start applies as it is.
  LayoutLoading = true;
  for (int c = 0; c < StringGrid1->ColCount(); ++c) {
    const int w = StringGrid1->ColWidths(c);
    const int bounded = std::clamp(w, app::kMinColumnWidth, app::kMaxColumnWidth);
    if (bounded != w) StringGrid1->setColWidths(c, bounded);
  }
  LayoutLoading = false;
  for (int c = 0; c < StringGrid1->ColCount(); ++c)
    if (dialogs::ColumnRow* row = Settings.Column(widgets::ss(StringGrid1->Cells(c, 0))))
      row->Width = std::to_string(StringGrid1->ColWidths(c));
  ShowWriteError(Settings.SaveSettings());
}

void TMainform::ShowTotals() { Panel4->setText(QStringLiteral("Total ") + TotalsText(ListedFiles, ListedBytes)); }

int TMainform::ColumnOf(const QString& title) const {
  for (int c = 0; c < StringGrid1->ColCount(); ++c)
    if (StringGrid1->Cells(c, 0) == title) return c;
  return -1;
}

void TMainform::ShowSelectionTotals(int firstRow, int lastRow) {
  int col = ColumnOf(QStringLiteral("Size"));
  if (col < 0) return;
  SelectedFiles = 0;
  SelectedBytes = 0;
  for (int r = std::max(firstRow, 0); r <= lastRow && r < StringGrid1->RowCount(); ++r) {
    QString cell = StringGrid1->Cells(col, r);
    if (cell.isEmpty()) continue;
    ++SelectedFiles;
    SelectedBytes += cell.toLongLong();
  }
  Panel3->setText(QStringLiteral("Selected ") + TotalsText(SelectedFiles, SelectedBytes));
}

void TMainform::StringGrid1Click() {
  TGridRect s = StringGrid1->Selection();
  ShowSelectionTotals(s.Top, s.Bottom);
}

namespace {

// Selects the data rows first..last. With whole rows selected, the current cell
// stays in the first column shown, so the arrow, Home and End keys that follow
// move from there rather than scroll the grid to the far end of the row.
TGridRect selectRows(TSortGrid* g, int first, int last) {
  TGridRect r{g->FixedCols(), first, g->ColCount() - 1, last};
  if (g->Options() & goRowSelect) r.Left = r.Right = std::clamp(g->LeftCol(), g->FixedCols(), g->ColCount() - 1);
  g->setSelection(r);
  return g->Selection();
}

}  // namespace

void TMainform::SelectAll2Click() {
  TGridRect r = selectRows(StringGrid1, StringGrid1->FixedRows(), StringGrid1->RowCount() - 1);
  ShowSelectionTotals(r.Top, r.Bottom);
}

void TMainform::DeselectAll2Click() {
  TGridRect r = selectRows(StringGrid1, StringGrid1->FixedRows(), StringGrid1->FixedRows());
  ShowSelectionTotals(r.Top, r.Bottom);
}

void TMainform::StringGrid1EndSort() {
  // A sort keeps the current row only; the line must say what is selected now.
  StringGrid1Click();
}

bool TMainform::StringGrid1GetSortValue(int col, int row, double& value) const {
  // Dates are sorted by the entries' own times: a display format with two-digit
  // years (or none at all) cannot order them. A DOS date-time read as one number
  // orders as the time it stands for.
  if (col != ColumnOf(QStringLiteral("Modified"))) return false;
  auto tag = reinterpret_cast<std::intptr_t>(StringGrid1->Objects(0, row));
  if (tag <= 0 || static_cast<std::size_t>(tag) > rowTimes_.size()) return false;
  value = static_cast<double>(rowTimes_[static_cast<std::size_t>(tag) - 1]);
  return true;
}

std::vector<std::string> TMainform::SelectedNames() const {
  std::vector<std::string> names;
  TGridRect s = StringGrid1->Selection();
  int col = ColumnOf(QStringLiteral("Filename"));
  if (col < 0) col = 0;
  for (int r = std::max(s.Top, StringGrid1->FixedRows()); r <= s.Bottom && r < StringGrid1->RowCount(); ++r) {
    auto tag = reinterpret_cast<std::intptr_t>(StringGrid1->Objects(0, r));
    if (tag > 0 && static_cast<std::size_t>(tag) <= rowNames_.size()) {
      names.push_back(rowNames_[static_cast<std::size_t>(tag) - 1]);
    } else {
      QString cell = StringGrid1->Cells(col, r);
      if (!cell.isEmpty()) names.push_back(widgets::ss(cell));
    }
  }
  return names;
}

// The archive listing of the main window: one title row and one row per file entry,
// the column layout kept in the settings, and the total and selection lines.
#include <QLabel>
#include <algorithm>

#include "app/mainunit.h"
#include "platform/datetime.h"
#include "platform/routines.h"
#include "widgets/qt_ui.h"
#include "widgets/sortgrid.h"

using widgets::qs;

namespace {

const char* const kTitles[] = {"Filename", "Packed", "Size", "Modified", "Path", "Ratio"};

struct ColumnDef {
  int position = 0;
  QString title;
  bool visible = false;
  int width = 0;
};

// "3=Size;True;84" -> its four fields.
ColumnDef parseDef(std::string def) {
  platform::ReplaceText("=", def, ";", false);
  ColumnDef d;
  d.position = std::atoi(platform::GetField(def, 1, ";").c_str());
  d.title = qs(platform::GetField(def, 2, ";"));
  d.visible = platform::GetField(def, 3, ";") == "True";
  d.width = std::atoi(platform::GetField(def, 4, ";").c_str());
  return d;
}

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
  StringGrid1->setUpdatesEnabled(false);
  if (ZipEngine1.EntryCount() == 0) {
    StringGrid1->setRowCount(2);
    StringGrid1->setFixedRows(1);
    for (int c = 0; c < StringGrid1->ColCount(); ++c) StringGrid1->setCells(c, 1, QString());
    StringGrid1->setUpdatesEnabled(true);
    return;
  }
  // Folder entries get no row: count the rows first and size the grid once.
  const auto& entries = ZipEngine1.Entries();
  int files = 0;
  for (const auto& e : entries)
    if (!namePart(e->FileName).empty()) ++files;
  StringGrid1->setFixedRows(0);
  StringGrid1->setRowCount(files + 1);
  if (files > 0) StringGrid1->setFixedRows(1);

  std::vector<ColumnDef> visible;
  for (const std::string& def : Settings.ColumnDefs) {
    ColumnDef d = parseDef(def);
    if (d.visible) visible.push_back(d);
  }
  const std::string format = Settings.co_DateFormat + " " + Settings.co_Timeformat;
  int row = 0;
  for (const auto& e : entries) {
    std::string name = namePart(e->FileName);
    if (name.empty()) continue;
    ++row;
    ++ListedFiles;
    const std::uint64_t size = e->UncompressedSize64, packed = e->CompressedSize64;
    ListedBytes += static_cast<std::int64_t>(size);
    rowNames_.push_back(e->FileName);
    for (const ColumnDef& d : visible) {
      int col = d.position - 1;
      if (col < 0 || col >= StringGrid1->ColCount()) continue;
      QString text;
      if (d.title == QLatin1String("Filename")) {
        text = qs(name);
      } else if (d.title == QLatin1String("Size")) {
        text = QString::number(size);
      } else if (d.title == QLatin1String("Packed")) {
        text = QString::number(packed);
      } else if (d.title == QLatin1String("Modified")) {
        auto dt = platform::dosToDateTime(e->DosDateTime());
        text = dt ? qs(platform::formatDateTime(format, *dt)) : QStringLiteral("Unknown");
      } else if (d.title == QLatin1String("Ratio")) {
        text = size != 0 && packed != 0
                   ? QString::number(static_cast<std::uint64_t>(static_cast<long double>(packed) / size * 100)) +
                         QLatin1Char('%')
                   : QStringLiteral("0%");
      } else if (d.title == QLatin1String("Path")) {
        text = qs(pathPart(e->FileName));
      }
      StringGrid1->setCells(col, row, text);
    }
    // Every cell of the row carries the row's tag in column 0, so sorting keeps it.
    StringGrid1->setObjects(0, row, reinterpret_cast<void*>(static_cast<std::intptr_t>(rowNames_.size())));
  }
  StringGrid1->setUpdatesEnabled(true);
  ShowTotals();
}

void TMainform::ClearGrid() {
  for (int c = 0; c < StringGrid1->ColCount(); ++c) StringGrid1->setCells(c, 1, QString());
  StringGrid1->setRowCount(1);
  StringGrid1->setFixedRows(0);
  StringGrid1->setRowCount(1);
  rowNames_.clear();
}

void TMainform::ApplyColumnLayout() {
  LayoutLoading = true;
  if (StringGrid1->RowCount() < 2) StringGrid1->setRowCount(2);
  StringGrid1->setFixedRows(1);
  std::vector<ColumnDef> defs;
  for (const std::string& def : Settings.ColumnDefs) defs.push_back(parseDef(def));
  int shown = 0;
  for (const ColumnDef& d : defs) {
    if (!d.visible) continue;
    StringGrid1->setColCount(++shown);
    if (d.position >= 1) {
      if (d.position > StringGrid1->ColCount()) StringGrid1->setColCount(d.position);
      StringGrid1->setCells(d.position - 1, 0, d.title);
    }
  }
  for (const ColumnDef& d : defs)
    if (d.visible && d.position >= 1 && d.position <= StringGrid1->ColCount())
      StringGrid1->setColWidths(d.position - 1, d.width);
  LayoutLoading = false;
}

void TMainform::DefaultColumnLayout() {
  LayoutLoading = true;
  StringGrid1->setRowCount(2);
  StringGrid1->setFixedRows(1);
  StringGrid1->setColCount(5);
  const int widths[] = {80, 84, 84, 100, 100};
  for (int c = 0; c < 5; ++c) {
    StringGrid1->setCells(c, 0, QString::fromLatin1(kTitles[c]));
    StringGrid1->setColWidths(c, widths[c]);
  }
  Settings.SetFactoryColumns();
  LayoutLoading = false;
  StringGrid1ColumnWidthsChanged();
}

void TMainform::StringGrid1ColumnWidthsChanged() {
  if (LayoutLoading) return;
  for (int c = 0; c < StringGrid1->ColCount(); ++c)
    if (dialogs::ColumnRow* row = Settings.Column(widgets::ss(StringGrid1->Cells(c, 0))))
      row->Width = std::to_string(StringGrid1->ColWidths(c));
  ShowWriteError(Settings.SaveSettings());
}

void TMainform::ShowTotals() {
  Panel4->setText(QStringLiteral("Total ") + TotalsText(ListedFiles, ListedBytes));
}

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

void TMainform::SelectAll2Click() {
  TGridRect r{StringGrid1->FixedCols(), StringGrid1->FixedRows(), StringGrid1->ColCount() - 1,
              StringGrid1->RowCount() - 1};
  StringGrid1->setSelection(r);
  ShowSelectionTotals(r.Top, r.Bottom);
}

void TMainform::DeselectAll2Click() {
  TGridRect r{StringGrid1->FixedCols(), StringGrid1->FixedRows(), StringGrid1->ColCount() - 1,
              StringGrid1->FixedRows()};
  StringGrid1->setSelection(r);
  ShowSelectionTotals(r.Top, r.Bottom);
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

// TSortGrid: the cell store, sizes, properties, row and column operations, and
// loading and saving delimited text. Sorting lives in sortgrid_sort.cpp, geometry
// and painting in sortgrid_view.cpp, mouse, keys and editing in sortgrid_input.cpp.
#include "widgets/sortgrid.h"

#include <QCollator>
#include <QLineEdit>
#include <QScrollBar>
#include <algorithm>

#include "platform/atomicfile.h"

namespace {

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Where index x ends up when the item at `from` moves to `to` and the ones between
// shift by one.
int movedIndex(int x, int from, int to) {
  if (x == from) return to;
  if (from < to && x > from && x <= to) return x - 1;
  if (to < from && x >= to && x < from) return x + 1;
  return x;
}

}  // namespace

TSortGrid::TSortGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  rows_.resize(5);
  colWidths_.assign(static_cast<std::size_t>(colCount_), defaultColWidth_);
  const QPalette& pal = palette();
  color_ = pal.color(QPalette::Base);
  fixedColor_ = pal.color(QPalette::Button);
  fontColor_ = pal.color(QPalette::Text);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  setProperty("goTabs", false);
  for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
    bar->setTracking(false);
    bar->setSingleStep(1);
    // A page is the rows (columns) in view, whatever size the thumb shows.
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar](int action) {
      if (action != QAbstractSlider::SliderPageStepAdd && action != QAbstractSlider::SliderPageStepSub) return;
      int page = std::max(1, bar == verticalScrollBar() ? VisibleRowCount() : VisibleColCount());
      bar->setSliderPosition(bar->value() + (action == QAbstractSlider::SliderPageStepAdd ? page : -page));
    });
  }
  updateScrollBars();
  rememberCell();
}

TSortGrid::~TSortGrid() = default;

// ---- Cells ----------------------------------------------------------------------

QString TSortGrid::Cells(int ACol, int ARow) const {
  if (ARow < 0 || ARow >= RowCount() || ACol < 0 || ACol >= colCount_) return {};
  const auto& cells = rows_[static_cast<std::size_t>(ARow)].cells;
  return static_cast<std::size_t>(ACol) < cells.size() ? cells[static_cast<std::size_t>(ACol)] : QString();
}

void TSortGrid::setCells(int ACol, int ARow, const QString& Text) {
  if (ARow < 0 || ARow >= RowCount() || ACol < 0 || ACol >= colCount_) return;
  // Validation watches the user's edits; the program's own writes are not checked.
  if (rememberedCell_.row == ARow && rememberedCell_.col == ACol && !validating_) rememberedText_ = Text;
  auto& cells = rows_[static_cast<std::size_t>(ARow)].cells;
  const auto c = static_cast<std::size_t>(ACol);
  if (c >= cells.size()) {
    if (Text.isEmpty()) return;
    cells.resize(rowCapacityFor(c));
  }
  cells[c] = Text;
  if (editorCell_.row == ARow && editorCell_.col == ACol) syncEditorFromCell();
  invalidate();
}

void* TSortGrid::Objects(int ACol, int ARow) const {
  if (ARow < 0 || ARow >= RowCount() || ACol < 0 || ACol >= colCount_) return nullptr;
  const auto& objects = rows_[static_cast<std::size_t>(ARow)].objects;
  return static_cast<std::size_t>(ACol) < objects.size() ? objects[static_cast<std::size_t>(ACol)] : nullptr;
}

void TSortGrid::setObjects(int ACol, int ARow, void* Object) {
  if (ARow < 0 || ARow >= RowCount() || ACol < 0 || ACol >= colCount_) return;
  auto& objects = rows_[static_cast<std::size_t>(ARow)].objects;
  const auto c = static_cast<std::size_t>(ACol);
  if (c >= objects.size()) {
    if (!Object) return;
    objects.resize(rowCapacityFor(c), nullptr);
  }
  objects[c] = Object;
}

QStringList TSortGrid::Rows(int ARow) const {
  QStringList out;
  if (ARow < 0 || ARow >= RowCount()) return out;
  out.reserve(colCount_);
  for (int c = 0; c < colCount_; ++c) out.append(Cells(c, ARow));
  return out;
}

void TSortGrid::setRows(int ARow, const QStringList& Texts) {
  const int n = std::min<int>(static_cast<int>(Texts.size()), colCount_);
  for (int c = 0; c < n; ++c) setCells(c, ARow, Texts[c]);
}

QStringList TSortGrid::Cols(int ACol) const {
  QStringList out;
  if (ACol < 0 || ACol >= colCount_) return out;
  out.reserve(RowCount());
  for (int r = 0; r < RowCount(); ++r) out.append(Cells(ACol, r));
  return out;
}

void TSortGrid::setCols(int ACol, const QStringList& Texts) {
  const int n = std::min<int>(static_cast<int>(Texts.size()), RowCount());
  for (int r = 0; r < n; ++r) setCells(ACol, r, Texts[r]);
}

void TSortGrid::clearRow(GridRow& r) { r = GridRow{}; }

// A row's vectors hold every column of a grid of usual width at once (one
// allocation per row), but of a very wide grid only up to the last cell written, so
// one long line in a loaded file does not widen every row's storage.
std::size_t TSortGrid::rowCapacityFor(std::size_t col) const {
  constexpr int kWholeRow = 64;
  return colCount_ <= kWholeRow ? static_cast<std::size_t>(colCount_) : col + 1;
}

// ---- Size -------------------------------------------------------------------------

void TSortGrid::changeSize(int newCols, int newRows) {
  newCols = std::max(1, newCols);
  newRows = std::max(1, newRows);
  const int oldCols = colCount_, oldRows = RowCount();
  if (newCols == oldCols && newRows == oldRows) return;
  if (newRows != oldRows) {
    rows_.resize(static_cast<std::size_t>(newRows));
    if (!rowHeights_.empty()) rowHeights_.resize(static_cast<std::size_t>(newRows), defaultRowHeight_);
    fixedRows_ = std::min(fixedRows_, newRows);
    dropSortRecord();
  }
  if (newCols != oldCols) {
    colCount_ = newCols;
    colWidths_.resize(static_cast<std::size_t>(newCols), defaultColWidth_);
    if (newCols < oldCols) {
      const auto n = static_cast<std::size_t>(newCols);
      for (GridRow& r : rows_) {
        if (r.cells.size() > n) r.cells.resize(n);
        if (r.objects.size() > n) r.objects.resize(n);
      }
    }
    fixedCols_ = std::min(fixedCols_, newCols);
  }
  if (editorCell_.row >= newRows || editorCell_.col >= newCols) hideEditor();
  clampPositions();
  scheduleLayout();
  invalidate();
  if (OnSizeChanged) OnSizeChanged(this, oldCols, oldRows);
}

void TSortGrid::setColCount(int Value) { changeSize(Value, RowCount()); }
void TSortGrid::setRowCount(int Value) { changeSize(colCount_, Value); }

void TSortGrid::setFixedCols(int Value) {
  Value = clampInt(Value, 0, colCount_);
  if (Value == fixedCols_) return;
  fixedCols_ = Value;
  hideEditor();
  // A new fixed area starts the grid over at its first non-fixed cell.
  current_.col = anchor_.col = leftCol_ = fixedCols_;
  clampPositions();
  scheduleLayout();
  invalidate();
}

void TSortGrid::setFixedRows(int Value) {
  Value = clampInt(Value, 0, RowCount());
  if (Value == fixedRows_) return;
  fixedRows_ = Value;
  hideEditor();
  dropSortRecord();
  current_.row = anchor_.row = topRow_ = fixedRows_;
  clampPositions();
  scheduleLayout();
  invalidate();
}

// Keeps the current cell and the anchor in the non-fixed area (or just past the
// end when there is none) and the top-left cell on a non-fixed row and column.
void TSortGrid::clampPositions() {
  auto clampCell = [this](Cell& c) {
    c.col = clampInt(c.col, fixedCols_, std::max(fixedCols_, colCount_ - 1));
    c.row = clampInt(c.row, fixedRows_, std::max(fixedRows_, RowCount() - 1));
  };
  clampCell(current_);
  clampCell(anchor_);
  topRow_ = clampInt(topRow_, fixedRows_, std::max(fixedRows_, RowCount() - 1));
  leftCol_ = clampInt(leftCol_, fixedCols_, std::max(fixedCols_, colCount_ - 1));
}

void TSortGrid::setDefaultColWidth(int Value) {
  Value = std::max(0, Value);
  defaultColWidth_ = Value;
  if (std::all_of(colWidths_.begin(), colWidths_.end(), [Value](int w) { return w == Value; })) return;
  colWidths_.assign(colWidths_.size(), Value);
  scheduleLayout();
  invalidate();
  if (OnColumnWidthsChanged) OnColumnWidthsChanged(this);
}

void TSortGrid::setDefaultRowHeight(int Value) {
  Value = std::max(0, Value);
  const bool changed = Value != defaultRowHeight_ || !rowHeights_.empty();
  defaultRowHeight_ = Value;
  rowHeights_.clear();
  if (!changed) return;
  scheduleLayout();
  invalidate();
  if (OnRowHeightsChanged) OnRowHeightsChanged(this);
}

int TSortGrid::ColWidths(int ACol) const {
  if (ACol < 0 || ACol >= colCount_) return defaultColWidth_;
  return colWidths_[static_cast<std::size_t>(ACol)];
}

void TSortGrid::setColWidths(int ACol, int Width) {
  if (ACol < 0 || ACol >= colCount_) return;
  Width = std::max(0, Width);
  int& w = colWidths_[static_cast<std::size_t>(ACol)];
  if (w == Width) return;
  w = Width;
  scheduleLayout();
  invalidate();
  placeEditor();
  if (OnColumnWidthsChanged) OnColumnWidthsChanged(this);
}

int TSortGrid::RowHeights(int ARow) const {
  if (ARow < 0 || ARow >= RowCount() || rowHeights_.empty()) return defaultRowHeight_;
  return rowHeights_[static_cast<std::size_t>(ARow)];
}

void TSortGrid::setRowHeights(int ARow, int Height) {
  if (ARow < 0 || ARow >= RowCount()) return;
  Height = std::max(0, Height);
  if (RowHeights(ARow) == Height) return;
  if (rowHeights_.empty()) rowHeights_.assign(rows_.size(), defaultRowHeight_);
  rowHeights_[static_cast<std::size_t>(ARow)] = Height;
  scheduleLayout();
  invalidate();
  placeEditor();
  if (OnRowHeightsChanged) OnRowHeightsChanged(this);
}

// ---- Current cell and selection -------------------------------------------------------

void TSortGrid::setCol(int Value) {
  if (colCount_ <= fixedCols_ || RowCount() <= fixedRows_) return;
  moveCurrent(clampInt(Value, fixedCols_, colCount_ - 1), current_.row, true, false);
}

void TSortGrid::setRow(int Value) {
  if (colCount_ <= fixedCols_ || RowCount() <= fixedRows_) return;
  moveCurrent(current_.col, clampInt(Value, fixedRows_, RowCount() - 1), true, false);
}

TGridRect TSortGrid::Selection() const {
  TGridRect s{std::min(anchor_.col, current_.col), std::min(anchor_.row, current_.row),
              std::max(anchor_.col, current_.col), std::max(anchor_.row, current_.row)};
  if (options_ & goRowSelect) {
    s.Left = fixedCols_;
    s.Right = std::max(fixedCols_, colCount_ - 1);
  }
  return s;
}

void TSortGrid::setSelection(const TGridRect& Value) {
  anchor_ = {Value.Left, Value.Top};
  current_ = {Value.Right, Value.Bottom};
  clampPositions();
  if (editorCell_.row >= 0 && (editorCell_.row != current_.row || editorCell_.col != current_.col)) hideEditor();
  invalidate();
}

// ---- Properties -----------------------------------------------------------------------

void TSortGrid::setOptions(TGridOptions Value) {
  const TGridOptions old = options_;
  options_ = Value;
  setProperty("goTabs", bool(Value & goTabs));
  const bool tracking = bool(Value & goThumbTracking);
  horizontalScrollBar()->setTracking(tracking);
  verticalScrollBar()->setTracking(tracking);
  if (!(Value & goEditing) || ((old & goAlwaysShowEditor) && !(Value & goAlwaysShowEditor))) hideEditor();
  if ((Value & goEditing) && (Value & goAlwaysShowEditor) && focused_ && !EditorMode()) showEditor();
  scheduleLayout();
  invalidate();
}

void TSortGrid::setColor(const QColor& Value) {
  color_ = Value;
  invalidate();
}

void TSortGrid::setFixedColor(const QColor& Value) {
  fixedColor_ = Value;
  invalidate();
}

void TSortGrid::setFontColor(const QColor& Value) {
  fontColor_ = Value;
  invalidate();
}

void TSortGrid::setScrollBars(TScrollStyle Value) {
  scrollBars_ = Value;
  const bool h = Value == ssHorizontal || Value == ssBoth;
  const bool v = Value == ssVertical || Value == ssBoth;
  setHorizontalScrollBarPolicy(h ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(v ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
  scheduleLayout();
}

void TSortGrid::setDefaultDrawing(bool Value) {
  defaultDrawing_ = Value;
  invalidate();
}

void TSortGrid::setAlignmentHorz(TAlignment Value) {
  alignmentHorz_ = Value;
  invalidate();
}

void TSortGrid::setAlignmentVert(TVertAlignment Value) {
  alignmentVert_ = Value;
  invalidate();
}

void TSortGrid::setBevelStyle(TCellBevelStyle Value) {
  bevelStyle_ = Value;
  invalidate();
}

void TSortGrid::setProportionalScrollBars(bool Value) {
  proportionalScrollBars_ = Value;
  updatePageSteps();
}

// ---- Rows and columns ----------------------------------------------------------------------

template <class Op>
void TSortGrid::withoutAlwaysShowEditor(Op op) {
  const bool had = bool(options_ & goAlwaysShowEditor);
  if (had) setOptions(options_ & ~TGridOptions(goAlwaysShowEditor));
  op();
  if (had) setOptions(options_ | goAlwaysShowEditor);
}

void TSortGrid::adjustAfterMove(Axis axis, int from, int to) {
  for (Cell* c : {&current_, &anchor_, &rememberedCell_, &editorCell_}) {
    int& x = axis == Axis::Rows ? c->row : c->col;
    if (x >= 0) x = movedIndex(x, from, to);
  }
}

void TSortGrid::moveRowData(int from, int to) {
  auto first = rows_.begin();
  if (from < to)
    std::rotate(first + from, first + from + 1, first + to + 1);
  else
    std::rotate(first + to, first + from, first + from + 1);
  if (!rowHeights_.empty()) {
    auto h = rowHeights_.begin();
    if (from < to)
      std::rotate(h + from, h + from + 1, h + to + 1);
    else
      std::rotate(h + to, h + from, h + from + 1);
  }
}

void TSortGrid::moveColData(int from, int to) {
  auto rotate = [from, to](auto& v) {
    auto first = v.begin();
    if (from < to)
      std::rotate(first + from, first + from + 1, first + to + 1);
    else
      std::rotate(first + to, first + from, first + from + 1);
  };
  // A row stores no cells past its last written one; it needs the moved range.
  const auto needed = static_cast<std::size_t>(std::max(from, to)) + 1;
  for (GridRow& r : rows_) {
    if (!r.cells.empty()) {
      if (r.cells.size() < needed) r.cells.resize(needed);
      rotate(r.cells);
    }
    if (!r.objects.empty()) {
      if (r.objects.size() < needed) r.objects.resize(needed, nullptr);
      rotate(r.objects);
    }
  }
  rotate(colWidths_);
}

void TSortGrid::MoveRow(int FromIndex, int ToIndex) {
  if (FromIndex < 0 || ToIndex < 0 || FromIndex >= RowCount() || ToIndex >= RowCount() || FromIndex == ToIndex) return;
  withoutAlwaysShowEditor([&] {
    hideEditor();
    moveRowData(FromIndex, ToIndex);
    adjustAfterMove(Axis::Rows, FromIndex, ToIndex);
    dropSortRecord();
    clampPositions();
    scheduleLayout();
    invalidate();
  });
}

void TSortGrid::MoveColumn(int FromIndex, int ToIndex) {
  if (FromIndex < 0 || ToIndex < 0 || FromIndex >= colCount_ || ToIndex >= colCount_ || FromIndex == ToIndex) return;
  withoutAlwaysShowEditor([&] {
    hideEditor();
    moveColData(FromIndex, ToIndex);
    adjustAfterMove(Axis::Cols, FromIndex, ToIndex);
    clampPositions();
    scheduleLayout();
    invalidate();
  });
}

void TSortGrid::SwapRows(int A, int B) {
  if (A == B) return;
  if (A > B) std::swap(A, B);
  MoveRow(B, A);
  MoveRow(A + 1, B);
}

void TSortGrid::SwapColumns(int A, int B) {
  if (A == B) return;
  if (A > B) std::swap(A, B);
  MoveColumn(B, A);
  MoveColumn(A + 1, B);
}

void TSortGrid::InsertRow(int ARow) {
  if (ARow < 0 || ARow > RowCount()) return;
  setRowCount(RowCount() + 1);
  MoveRow(RowCount() - 1, ARow);
  clearRow(rows_[static_cast<std::size_t>(ARow)]);
  if (ARow >= fixedRows_) moveCurrent(current_.col, ARow, true, false);
  invalidate();
  if (OnRowInsert) OnRowInsert(this, ARow);
}

void TSortGrid::InsertColumn(int ACol) {
  if (ACol < 0 || ACol > colCount_) return;
  setColCount(colCount_ + 1);
  MoveColumn(colCount_ - 1, ACol);
  for (GridRow& r : rows_) {
    if (static_cast<std::size_t>(ACol) < r.cells.size()) r.cells[static_cast<std::size_t>(ACol)] = QString();
    if (static_cast<std::size_t>(ACol) < r.objects.size()) r.objects[static_cast<std::size_t>(ACol)] = nullptr;
  }
  if (ACol >= fixedCols_) moveCurrent(ACol, current_.row, true, false);
  invalidate();
  if (OnColumnInsert) OnColumnInsert(this, ACol);
}

void TSortGrid::DeleteRow(int ARow) {
  if (ARow < 0 || ARow >= RowCount()) return;
  withoutAlwaysShowEditor([&] {
    hideEditor();
    clearRow(rows_[static_cast<std::size_t>(ARow)]);
    if (RowCount() > 1) {
      MoveRow(ARow, RowCount() - 1);
      setRowCount(RowCount() - 1);
    } else if (rememberedCell_.row == ARow) {
      rememberedText_.clear();  // emptied by the program, not by an edit
    }
    invalidate();
  });
  if (OnRowDelete) OnRowDelete(this, ARow);
}

void TSortGrid::DeleteColumn(int ACol) {
  if (ACol < 0 || ACol >= colCount_) return;
  withoutAlwaysShowEditor([&] {
    hideEditor();
    for (GridRow& r : rows_) {
      if (static_cast<std::size_t>(ACol) < r.cells.size()) r.cells[static_cast<std::size_t>(ACol)] = QString();
      if (static_cast<std::size_t>(ACol) < r.objects.size()) r.objects[static_cast<std::size_t>(ACol)] = nullptr;
    }
    if (colCount_ > 1) {
      MoveColumn(ACol, colCount_ - 1);
      setColCount(colCount_ - 1);
    } else if (rememberedCell_.col == ACol) {
      rememberedText_.clear();
    }
    invalidate();
  });
  if (OnColumnDelete) OnColumnDelete(this, ACol);
}

void TSortGrid::GoToCell(int ACol, int ARow) {
  if (colCount_ <= fixedCols_ || RowCount() <= fixedRows_) return;
  ACol = clampInt(ACol, fixedCols_, colCount_ - 1);
  ARow = clampInt(ARow, fixedRows_, RowCount() - 1);
  if (!canSelect(ACol, ARow)) return;
  if (editorCell_.row >= 0 && (editorCell_.row != ARow || editorCell_.col != ACol)) hideEditor();
  current_ = anchor_ = {ACol, ARow};
  scrollIntoView(ACol, ARow);
  invalidate();
}

void TSortGrid::Clear() {
  hideEditor();
  for (GridRow& r : rows_) clearRow(r);
  modified_ = false;
  dropSortRecord();
  rememberCell();
  invalidate();
}

bool TSortGrid::FindCell(const QString& S, int& ACol, int& ARow) const {
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  for (int c = 0; c < colCount_; ++c) {
    for (int r = 0; r < RowCount(); ++r) {
      if (collator.compare(Cells(c, r), S) == 0) {
        ACol = c;
        ARow = r;
        return true;
      }
    }
  }
  return false;
}

// ---- Delimited text ------------------------------------------------------------------------

bool TSortGrid::LoadFromFile(const QString& FileName, QChar Delimiter) {
  std::string data;
  if (!platform::readWholeFile(FileName.toStdString(), data)) return false;
  const QString text = QString::fromUtf8(data.data(), static_cast<qsizetype>(data.size()));
  // Lines end at CR, LF or CR LF; a break at the very end starts no further line.
  std::vector<QStringView> lines;
  qsizetype start = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar ch = text[i];
    if (ch != u'\n' && ch != u'\r') continue;
    lines.push_back(QStringView(text).mid(start, i - start));
    if (ch == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < n) lines.push_back(QStringView(text).mid(start));

  Clear();
  std::vector<QList<QStringView>> fields;
  fields.reserve(lines.size());
  int widest = 0;
  for (QStringView line : lines) {
    fields.push_back(line.split(Delimiter));
    widest = std::max(widest, static_cast<int>(fields.back().size()));
  }
  setRowCount(static_cast<int>(lines.size()));
  setColCount(std::max(fixedCols_ + 1, widest));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const auto& f = fields[i];
    for (qsizetype c = 0; c < f.size(); ++c) setCells(static_cast<int>(c), static_cast<int>(i), f[c].toString());
  }
  dropSortRecord();
  rememberCell();
  return true;
}

bool TSortGrid::SaveToFile(const QString& FileName, QChar Delimiter) const {
  QString text;
  for (int r = 0; r < RowCount(); ++r) {
    for (int c = 0; c < colCount_; ++c) {
      if (c > 0) text += Delimiter;
      text += Cells(c, r);
    }
    text += u'\n';
  }
  const QByteArray utf8 = text.toUtf8();
  return platform::writeFileAtomically(FileName.toStdString(),
                                       std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

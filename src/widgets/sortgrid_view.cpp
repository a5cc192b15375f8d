// TSortGrid geometry, scroll bars and painting.
//
// Scrolling is by whole rows and columns: the vertical bar's value is TopRow minus
// FixedRows, the horizontal one's LeftCol minus FixedCols. Fixed rows and columns are
// always drawn at the top and left. Every position question walks only the cells in
// view; while all rows have the default height it is plain arithmetic, so a grid of
// any length answers at once.
#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>
#include <climits>
#include <cmath>

#include "widgets/sortgrid.h"

// ---- Text shown ------------------------------------------------------------------

namespace {

bool unsafeForDisplay(char16_t c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029; }

}  // namespace

QString TSortGrid::VisibleText(const QString& Text) {
  const auto* begin = reinterpret_cast<const char16_t*>(Text.constData());
  const auto* end = begin + Text.size();
  if (std::none_of(begin, end, unsafeForDisplay)) return Text;
  QString out;
  out.reserve(Text.size() + 8);
  for (const char16_t* p = begin; p != end; ++p) {
    const char16_t c = *p;
    if (c < 0x20 || c == 0x7f) {
      // Caret notation, which every font can draw: ^@ ^G ^J ^[ ... ^?
      out += QLatin1Char('^');
      out += QChar(c == 0x7f ? u'?' : static_cast<char16_t>(c + 0x40));
    } else if (unsafeForDisplay(c)) {
      out += QChar(QChar::ReplacementCharacter);
    } else {
      out += QChar(c);
    }
  }
  return out;
}

// ---- Extents ---------------------------------------------------------------------

// The line after a cell: fixed cells follow the fixed-line options.
int TSortGrid::lineWidth(Axis axis, int index) const {
  if (axis == Axis::Cols) return (options_ & (index < fixedCols_ ? goFixedVertLine : goVertLine)) ? 1 : 0;
  return (options_ & (index < fixedRows_ ? goFixedHorzLine : goHorzLine)) ? 1 : 0;
}

// Cell size plus its line.
int TSortGrid::extent(Axis axis, int index) const {
  const int size = axis == Axis::Cols ? ColWidths(index) : RowHeights(index);
  return size + lineWidth(axis, index);
}

int TSortGrid::fixedExtent(Axis axis) const {
  const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
  int sum = 0;
  for (int i = 0; i < fixed; ++i) sum += extent(axis, i);
  return sum;
}

// The largest first scrolled index that still shows the last row (column) whole.
int TSortGrid::maxTopLeft(Axis axis) const {
  const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
  const int count = axis == Axis::Cols ? colCount_ : RowCount();
  if (count <= fixed) return fixed;
  const int avail = (axis == Axis::Cols ? viewport()->width() : viewport()->height()) - fixedExtent(axis);
  if (axis == Axis::Rows && rowHeights_.empty()) {
    const int ext = std::max(1, extent(Axis::Rows, fixed));
    const int fit = avail >= defaultRowHeight_ ? (avail - defaultRowHeight_) / ext + 1 : 1;
    return std::max(fixed, count - fit);
  }
  int top = count - 1;
  int used = axis == Axis::Cols ? ColWidths(top) : RowHeights(top);
  while (top > fixed && used + extent(axis, top - 1) <= avail) used += extent(axis, --top);
  return top;
}

int TSortGrid::firstVisible(Axis axis) const { return axis == Axis::Cols ? leftCol_ : topRow_; }

// Viewport coordinate of the cell's start, or INT_MIN when it is scrolled away or
// lies beyond the viewport.
int TSortGrid::cellStart(Axis axis, int index) const {
  const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
  const int count = axis == Axis::Cols ? colCount_ : RowCount();
  const int limit = axis == Axis::Cols ? viewport()->width() : viewport()->height();
  if (index < 0 || index >= count) return INT_MIN;
  int pos = 0;
  if (index < fixed) {
    for (int i = 0; i < index; ++i) pos += extent(axis, i);
    return pos < limit ? pos : INT_MIN;
  }
  const int first = firstVisible(axis);
  if (index < first) return INT_MIN;
  pos = fixedExtent(axis);
  if (axis == Axis::Rows && rowHeights_.empty()) {
    const long long p = pos + static_cast<long long>(index - first) * extent(Axis::Rows, first);
    return p < limit ? static_cast<int>(p) : INT_MIN;
  }
  for (int i = first; i < index; ++i) {
    pos += extent(axis, i);
    if (pos >= limit) return INT_MIN;
  }
  return pos < limit ? pos : INT_MIN;
}

// The row (column) at a viewport coordinate, or -1.
int TSortGrid::indexAt(Axis axis, int pos) const {
  if (pos < 0) return -1;
  const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
  const int count = axis == Axis::Cols ? colCount_ : RowCount();
  int start = 0;
  for (int i = 0; i < fixed; ++i) {
    start += extent(axis, i);
    if (pos < start) return i;
  }
  const int first = firstVisible(axis);
  if (first >= count) return -1;
  if (axis == Axis::Rows && rowHeights_.empty()) {
    const int ext = extent(Axis::Rows, first);
    if (ext <= 0) return -1;
    const long long r = first + static_cast<long long>(pos - start) / ext;
    return r < count ? static_cast<int>(r) : -1;
  }
  for (int i = first; i < count; ++i) {
    start += extent(axis, i);
    if (pos < start) return i;
  }
  return -1;
}

// The column (row) whose trailing line is within reach of p in the title area, for
// sizing; the rightmost (lowest) when several are. -1 when none.
int TSortGrid::separatorAt(Axis axis, const QPoint& p) const {
  constexpr int kReach = 2;
  const int across = axis == Axis::Cols ? p.y() : p.x();
  if (across < 0 || across >= fixedExtent(axis == Axis::Cols ? Axis::Rows : Axis::Cols)) return -1;
  const int along = axis == Axis::Cols ? p.x() : p.y();
  const int count = axis == Axis::Cols ? colCount_ : RowCount();
  const int limit = axis == Axis::Cols ? viewport()->width() : viewport()->height();
  const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
  int found = -1, pos = 0;
  auto check = [&](int i) {
    pos += axis == Axis::Cols ? ColWidths(i) : RowHeights(i);
    if (std::abs(along - pos) <= kReach) found = i;
    pos += lineWidth(axis, i);
  };
  for (int i = 0; i < fixed && pos <= limit; ++i) check(i);
  for (int i = firstVisible(axis); i < count && pos <= limit; ++i) check(i);
  return found;
}

QRect TSortGrid::CellRect(int ACol, int ARow) const {
  const int x = cellStart(Axis::Cols, ACol), y = cellStart(Axis::Rows, ARow);
  if (x == INT_MIN || y == INT_MIN) return {};
  return QRect(x, y, ColWidths(ACol), RowHeights(ARow));
}

bool TSortGrid::MouseToCell(const QPoint& Pos, int& ACol, int& ARow) const {
  ACol = indexAt(Axis::Cols, Pos.x());
  ARow = indexAt(Axis::Rows, Pos.y());
  if (ACol < 0 || ARow < 0 || Pos.x() >= viewport()->width() || Pos.y() >= viewport()->height()) {
    ACol = ARow = -1;
    return false;
  }
  return true;
}

int TSortGrid::VisibleRowCount() const {
  const int avail = viewport()->height() - fixedExtent(Axis::Rows);
  if (rowHeights_.empty()) {
    const int ext = std::max(1, extent(Axis::Rows, topRow_));
    const int fit = avail >= defaultRowHeight_ ? (avail - defaultRowHeight_) / ext + 1 : 0;
    return std::max(0, std::min(fit, RowCount() - topRow_));
  }
  int n = 0, used = 0;
  for (int r = topRow_; r < RowCount() && used + RowHeights(r) <= avail; ++r, ++n) used += extent(Axis::Rows, r);
  return n;
}

int TSortGrid::VisibleColCount() const {
  const int avail = viewport()->width() - fixedExtent(Axis::Cols);
  int n = 0, used = 0;
  for (int c = leftCol_; c < colCount_ && used + ColWidths(c) <= avail; ++c, ++n) used += extent(Axis::Cols, c);
  return n;
}

// ---- Scrolling ------------------------------------------------------------------------

// Sizes and counts change in bursts (a fill sets thousands of cells); the bars are
// brought up to date once, when the burst is over.
void TSortGrid::scheduleLayout() {
  if (layoutPending_) return;
  layoutPending_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (layoutPending_) updateScrollBars();
      },
      Qt::QueuedConnection);
}

void TSortGrid::updateScrollBars() {
  layoutPending_ = false;
  QScrollBar* vb = verticalScrollBar();
  QScrollBar* hb = horizontalScrollBar();
  const int top = topRow_, left = leftCol_;
  vb->setRange(0, std::max(0, maxTopLeft(Axis::Rows) - fixedRows_));
  hb->setRange(0, std::max(0, maxTopLeft(Axis::Cols) - fixedCols_));
  vb->setValue(top - fixedRows_);
  hb->setValue(left - fixedCols_);
  topRow_ = fixedRows_ + vb->value();
  leftCol_ = fixedCols_ + hb->value();
  updatePageSteps();
  placeEditor();
}

// The thumb of each bar the grid shows covers its visible share when
// ProportionalScrollBars is on; the page then is a part of the bar's range.
void TSortGrid::updatePageSteps() {
  auto page = [this](QScrollBar* bar, double share) {
    if (!proportionalScrollBars_) return 0;
    const double range = double(bar->maximum()) - bar->minimum() + 1;
    return std::max(1, static_cast<int>(std::lround(share * range)));
  };
  if (scrollBars_ == ssVertical || scrollBars_ == ssBoth) {
    QScrollBar* vb = verticalScrollBar();
    vb->setPageStep(page(vb, double(VisibleRowCount() - 15 + fixedRows_) / RowCount()));
  }
  if (scrollBars_ == ssHorizontal || scrollBars_ == ssBoth) {
    QScrollBar* hb = horizontalScrollBar();
    hb->setPageStep(page(hb, double(VisibleColCount() + fixedCols_) / colCount_));
  }
}

void TSortGrid::setTopRow(int Value) {
  if (layoutPending_) updateScrollBars();
  verticalScrollBar()->setValue(Value - fixedRows_);
  topRow_ = fixedRows_ + verticalScrollBar()->value();
  invalidate();
}

void TSortGrid::setLeftCol(int Value) {
  if (layoutPending_) updateScrollBars();
  horizontalScrollBar()->setValue(Value - fixedCols_);
  leftCol_ = fixedCols_ + horizontalScrollBar()->value();
  invalidate();
}

void TSortGrid::scrollIntoView(int ACol, int ARow) {
  if (layoutPending_) updateScrollBars();
  auto target = [this](Axis axis, int index) {
    const int first = firstVisible(axis);
    const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
    if (index < fixed) return first;
    if (index < first) return index;
    const int avail = (axis == Axis::Cols ? viewport()->width() : viewport()->height()) - fixedExtent(axis);
    // The first index that still shows `index` whole.
    int top = index;
    int used = axis == Axis::Cols ? ColWidths(index) : RowHeights(index);
    while (top > fixed && used + extent(axis, top - 1) <= avail) {
      used += extent(axis, top - 1);
      --top;
      if (top <= first) break;
    }
    return std::max(first, top);
  };
  setTopRow(target(Axis::Rows, ARow));
  setLeftCol(target(Axis::Cols, ACol));
}

void TSortGrid::scrollContentsBy(int, int) {
  topRow_ = fixedRows_ + verticalScrollBar()->value();
  leftCol_ = fixedCols_ + horizontalScrollBar()->value();
  placeEditor();
  invalidate();
}

void TSortGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  updateScrollBars();
}

void TSortGrid::invalidate() {
  if (updatePending_ || !viewport()->isVisible()) return;
  updatePending_ = true;
  viewport()->update();
}

// ---- Painting ---------------------------------------------------------------------------

TGridDrawState TSortGrid::stateOf(int ACol, int ARow) const {
  TGridDrawState st;
  if (ACol < fixedCols_ || ARow < fixedRows_) return st | gdFixed;
  const TGridRect s = Selection();
  if (ACol >= s.Left && ACol <= s.Right && ARow >= s.Top && ARow <= s.Bottom) st |= gdSelected;
  if (ACol == current_.col && ARow == current_.row && (focused_ || hasFocus())) st |= gdFocused;
  return st;
}

// The canvas as the grid prepares it for a cell: fixed colour for fixed cells,
// highlight for selected ones (the focused cell only with goDrawFocusSelected or
// goRowSelect), else the background colour.
void TSortGrid::defaultFormat(int, int, TGridDrawState State, QBrush& brush, QFont& font, QColor& fontColor) const {
  font = this->font();
  fontColor = fontColor_;
  if (State & gdFixed) {
    brush = QBrush(fixedColor_);
  } else if ((State & gdSelected) && (!(State & gdFocused) || (options_ & (goDrawFocusSelected | goRowSelect)))) {
    brush = QBrush(palette().color(QPalette::Highlight));
    fontColor = palette().color(QPalette::HighlightedText);
  } else {
    brush = QBrush(color_);
  }
}

void TSortGrid::DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& Rect, TGridDrawState State) {
  QBrush brush;
  QFont font;
  QColor fontColor;
  defaultFormat(ACol, ARow, State, brush, font, fontColor);
  TFormatOptions fo{brush, font, fontColor, alignmentHorz_, alignmentVert_, bevelStyle_, {}, {}, false};
  const QPalette& pal = palette();
  switch (fo.BevelStyle) {
    case cbRaised:
      fo.TopLeftColor = pal.color(QPalette::Light);
      fo.BottomRightColor = pal.color(QPalette::Dark);
      break;
    case cbLowered:
      fo.TopLeftColor = pal.color(QPalette::Dark);
      fo.BottomRightColor = pal.color(QPalette::Light);
      break;
    case cbNone: fo.TopLeftColor = fo.BottomRightColor = pal.color(QPalette::Base); break;
  }
  if (OnGetCellFormat) OnGetCellFormat(this, ACol, ARow, State, fo);
  if (!defaultDrawing_) {
    if (OnDrawCell) OnDrawCell(this, ACol, ARow, Rect, State, Canvas);
    return;
  }

  Canvas.save();
  Canvas.setClipRect(Rect);
  Canvas.fillRect(Rect, fo.Brush);
  if (!fo.HideText) {
    const QString text = VisibleText(cellRef(ACol, ARow));
    if (!text.isEmpty()) {
      const QFontMetrics fm(fo.Font);
      const int w = fm.horizontalAdvance(text), h = fm.height();
      int dx = 2, dy = 2;
      if (fo.AlignmentHorz == taRightJustify) dx = Rect.width() - w - 2;
      if (fo.AlignmentHorz == taCenter) dx = (Rect.width() - w) / 2;
      if (fo.AlignmentVert == taBottomJustify) dy = Rect.height() - h - 3;
      if (fo.AlignmentVert == taMiddle) dy = (Rect.height() - h) / 2;
      Canvas.setFont(fo.Font);
      Canvas.setPen(fo.FontColor);
      Canvas.drawText(QPoint(Rect.left() + dx, Rect.top() + dy + fm.ascent()), text);
    }
  }
  if (fo.BevelStyle != cbNone && ACol >= fixedCols_ && ARow >= fixedRows_) {
    // Right and bottom edges first, then left and top, each under the fixed-line
    // option of its direction. Right and Bottom are exclusive.
    const int l = Rect.left(), t = Rect.top(), r = Rect.left() + Rect.width(), b = Rect.top() + Rect.height();
    Canvas.setPen(fo.BottomRightColor);
    if (options_ & goFixedVertLine) Canvas.drawLine(r - 1, t, r - 1, b - 1);
    if (options_ & goFixedHorzLine) Canvas.drawLine(l, b - 1, r - 1, b - 1);
    Canvas.setPen(fo.TopLeftColor);
    if (options_ & goFixedVertLine) Canvas.drawLine(l, t, l, b - 1);
    if (options_ & goFixedHorzLine) Canvas.drawLine(l, t, r - 1, t);
  }
  Canvas.restore();
  if (OnDrawCell) {
    Canvas.save();
    OnDrawCell(this, ACol, ARow, Rect, State, Canvas);
    Canvas.restore();
  }
}

void TSortGrid::paintLines(QPainter& p, int ACol, int ARow, const QRect& r) const {
  const bool fixed = ACol < fixedCols_ || ARow < fixedRows_;
  const QColor line = fixed ? palette().color(QPalette::Shadow) : palette().color(QPalette::Midlight);
  const int right = r.left() + r.width(), bottom = r.top() + r.height();
  if (lineWidth(Axis::Cols, ACol)) p.fillRect(QRect(right, r.top(), 1, r.height() + lineWidth(Axis::Rows, ARow)), line);
  if (lineWidth(Axis::Rows, ARow)) p.fillRect(QRect(r.left(), bottom, r.width(), 1), line);
}

void TSortGrid::paintEvent(QPaintEvent* e) {
  if (layoutPending_) updateScrollBars();
  updatePending_ = false;
  QPainter p(viewport());
  const QRect area = viewport()->rect();
  p.fillRect(e->rect(), color_);

  // The rows and columns in view, with their start coordinates.
  auto visible = [this](Axis axis, int limit) {
    std::vector<std::pair<int, int>> out;
    const int fixed = axis == Axis::Cols ? fixedCols_ : fixedRows_;
    const int count = axis == Axis::Cols ? colCount_ : RowCount();
    int pos = 0;
    for (int i = 0; i < fixed && pos < limit; ++i) {
      out.emplace_back(i, pos);
      pos += extent(axis, i);
    }
    for (int i = firstVisible(axis); i < count && pos < limit; ++i) {
      out.emplace_back(i, pos);
      pos += extent(axis, i);
    }
    return out;
  };
  const auto cols = visible(Axis::Cols, area.width());
  const auto rows = visible(Axis::Rows, area.height());
  for (const auto& [r, y] : rows) {
    const int h = RowHeights(r);
    if (y + h + 1 <= e->rect().top() || y > e->rect().bottom()) continue;
    for (const auto& [c, x] : cols) {
      const QRect cell(x, y, ColWidths(c), h);
      if (!cell.adjusted(0, 0, 1, 1).intersects(e->rect())) continue;
      DrawCell(p, c, r, cell, stateOf(c, r));
      paintLines(p, c, r, cell);
    }
  }

  // Focus frame on the current cell while the grid (not its editor) has the focus.
  if (hasFocus() && !EditorMode() && !(options_ & goRowSelect)) {
    const QRect cur = CellRect(current_.col, current_.row);
    if (!cur.isEmpty()) {
      QStyleOptionFocusRect opt;
      opt.initFrom(this);
      opt.rect = cur;
      opt.backgroundColor = color_;
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &opt, &p, this);
    }
  }
  // The line that follows the pointer while a column or row is being sized.
  if (mouseState_ == MouseState::ColSizing) p.fillRect(QRect(sizingPos_, 0, 1, area.height()), Qt::black);
  if (mouseState_ == MouseState::RowSizing) p.fillRect(QRect(0, sizingPos_, area.width(), 1), Qt::black);
}

// ---- Sizing to contents ------------------------------------------------------------------

void TSortGrid::AutoSizeColumn(int ACol) {
  if (ACol < 0 || ACol >= colCount_) return;
  const QFont gridFont = font();
  QFont lastFont = gridFont;
  QFontMetrics fm(gridFont);
  int widest = 0;
  for (int r = 0; r < RowCount(); ++r) {
    const TGridDrawState st = stateOf(ACol, r);
    QBrush brush;
    QFont cellFont;
    QColor fontColor;
    defaultFormat(ACol, r, st, brush, cellFont, fontColor);
    if (OnGetCellFormat) {
      TFormatOptions fo{brush, cellFont, fontColor, alignmentHorz_, alignmentVert_, bevelStyle_, {}, {}, false};
      OnGetCellFormat(this, ACol, r, st, fo);
    }
    if (cellFont != lastFont) {
      fm = QFontMetrics(cellFont);
      lastFont = cellFont;
    }
    const QString text = VisibleText(cellRef(ACol, r));
    if (!text.isEmpty()) widest = std::max(widest, fm.horizontalAdvance(text));
  }
  setColWidths(ACol, QFontMetrics(gridFont).horizontalAdvance(QLatin1Char('x')) + widest);
}

void TSortGrid::AutoSizeAllColumns(bool DoFixedCols, int ExtraWidth) {
  for (int c = DoFixedCols ? 0 : fixedCols_; c < colCount_; ++c) {
    AutoSizeColumn(c);
    if (ExtraWidth != 0) setColWidths(c, ColWidths(c) + ExtraWidth);
  }
}

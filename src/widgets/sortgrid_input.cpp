// TSortGrid input: mouse selection, sizing and moving, click sorting, keyboard
// navigation and the extended keys, the in-place editor and cell validation.
//
// Focus: the grid and its editor count as one. Entering the grid from another
// control remembers the current cell for validation; leaving it to another control
// validates (through Click) first. A focus change caused by another window becoming
// active (a dialog, a menu) is neither an enter nor a leave.
#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScopeGuard>
#include <QScrollBar>
#include <climits>

#include "widgets/sortgrid.h"

namespace {

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

bool isWindowFocusChange(Qt::FocusReason r) {
  return r == Qt::ActiveWindowFocusReason || r == Qt::PopupFocusReason || r == Qt::MenuBarFocusReason;
}

}  // namespace

// ---- Current cell ---------------------------------------------------------------

bool TSortGrid::canSelect(int ACol, int ARow) {
  bool ok = true;
  if (OnSelectCell) OnSelectCell(this, ACol, ARow, ok);
  return ok;
}

// Moves the current cell (and the anchor unless extending a range selection). A move
// by the user ends in Click, as every user move of the current cell does.
void TSortGrid::moveCurrent(int ACol, int ARow, bool moveAnchor, bool byUser) {
  if (colCount_ <= fixedCols_ || RowCount() <= fixedRows_) return;
  ACol = clampInt(ACol, fixedCols_, colCount_ - 1);
  ARow = clampInt(ARow, fixedRows_, RowCount() - 1);
  const bool sameCell = ACol == current_.col && ARow == current_.row;
  if (!sameCell && !canSelect(ACol, ARow)) return;
  if (!sameCell) hideEditor();
  current_ = {ACol, ARow};
  if (moveAnchor) anchor_ = current_;
  scrollIntoView(ACol, ARow);
  invalidate();
  if ((options_ & goEditing) && (options_ & goAlwaysShowEditor) && focused_) showEditor();
  if (byUser) Click();
}

void TSortGrid::Click() {
  if (focused_) ValidateCell();
  if (OnClick) OnClick(this);
}

// ---- Validation ---------------------------------------------------------------------

void TSortGrid::rememberCell() {
  rememberedCell_ = current_;
  rememberedText_ = Cells(current_.col, current_.row);
  rememberedModified_ = modified_;
}

// When the remembered cell's text changed since it was remembered, OnCellValidate
// may accept it, replace it, or refuse it (the cell then gets back its old text
// unless the handler supplied another, and Modified its old value).
void TSortGrid::ValidateCell() {
  if (validating_) return;
  validating_ = true;
  auto done = qScopeGuard([this] { validating_ = false; });
  const Cell c = rememberedCell_;
  const bool inRange = c.row >= 0 && c.row < RowCount() && c.col >= 0 && c.col < colCount_;
  if (inRange && Cells(c.col, c.row) != rememberedText_) {
    const QString original = Cells(c.col, c.row);
    QString value = original;
    bool valid = true;
    if (OnCellValidate) OnCellValidate(this, c.col, c.row, value, valid);
    if (valid) {
      if (value != original) setCells(c.col, c.row, value);
    } else {
      setCells(c.col, c.row, value != original ? value : rememberedText_);
      modified_ = rememberedModified_;
    }
  }
  rememberCell();
}

// ---- Focus ------------------------------------------------------------------------

bool TSortGrid::focusIsInside() const {
  const QWidget* f = QApplication::focusWidget();
  return f && (f == this || (editor_ && f == editor_.data()));
}

void TSortGrid::doEnter() {
  focused_ = true;
  rememberCell();
}

void TSortGrid::doExit() {
  Click();
  if (!(options_ & goAlwaysShowEditor)) hideEditor();
  focused_ = false;
}

void TSortGrid::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  if (!focused_) doEnter();
  if ((options_ & goEditing) && (options_ & goAlwaysShowEditor) && !EditorMode()) showEditor();
  invalidate();
}

void TSortGrid::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  if (focused_ && !isWindowFocusChange(e->reason()) && !focusIsInside()) doExit();
  invalidate();
}

// ---- Editor ---------------------------------------------------------------------------

bool TSortGrid::EditorMode() const { return editorCell_.row >= 0; }

void TSortGrid::setEditorMode(bool Value) {
  if (Value)
    showEditor();
  else
    hideEditor();
}

void TSortGrid::showEditor(const QString* startText) {
  if (!(options_ & goEditing) || colCount_ <= fixedCols_ || RowCount() <= fixedRows_) return;
  if (!editor_) {
    editor_ = new QLineEdit(viewport());
    editor_->setObjectName(QStringLiteral("InplaceEditor"));
    editor_->setFrame(false);
    editor_->hide();
    editor_->installEventFilter(this);
    connect(editor_.data(), &QLineEdit::textEdited, this, &TSortGrid::editorTextEdited);
  }
  const bool reopen = EditorMode() && editorCell_.col == current_.col && editorCell_.row == current_.row;
  // The program may have moved the current cell since the last validation; the
  // cell about to be edited becomes the one validation watches.
  if (!reopen && focused_ && (rememberedCell_.col != current_.col || rememberedCell_.row != current_.row))
    ValidateCell();
  editorCell_ = current_;
  if (!reopen) editorOriginal_ = Cells(current_.col, current_.row);
  editor_->setFont(font());
  placeEditor();
  editor_->show();
  if (startText) {
    editor_->setText(*startText);
    editorTextEdited(*startText);
  } else if (!reopen) {
    editor_->setText(editorOriginal_);
    editor_->selectAll();
  }
  if (hasFocus() || focused_) editor_->setFocus(Qt::OtherFocusReason);
}

void TSortGrid::hideEditor() {
  if (!EditorMode()) return;
  editorCell_ = {-1, -1};
  if (!editor_) return;
  const bool hadFocus = editor_->hasFocus();
  editor_->hide();
  if (hadFocus) setFocus(Qt::OtherFocusReason);
  invalidate();
}

void TSortGrid::placeEditor() {
  if (!editor_ || !EditorMode()) return;
  const QRect r = CellRect(editorCell_.col, editorCell_.row);
  // Scrolled out of view, the editor waits outside the viewport with its text.
  editor_->setGeometry(r.isEmpty() ? QRect(-10000, -10000, 10, 10) : r);
}

// The editor writes through to the cell as the user types; a text that differs
// from the cell's marks the grid modified.
void TSortGrid::editorTextEdited(const QString& text) {
  if (!EditorMode()) return;
  if (text != Cells(editorCell_.col, editorCell_.row)) modified_ = true;
  auto& cells = rows_[static_cast<std::size_t>(editorCell_.row)].cells;
  const auto c = static_cast<std::size_t>(editorCell_.col);
  if (c >= cells.size()) cells.resize(rowCapacityFor(c));
  cells[c] = text;
  invalidate();
}

void TSortGrid::syncEditorFromCell() {
  if (!editor_ || !EditorMode()) return;
  const QString text = Cells(editorCell_.col, editorCell_.row);
  if (editor_->text() != text) editor_->setText(text);
}

bool TSortGrid::eventFilter(QObject* watched, QEvent* e) {
  if (!editor_ || watched != editor_.data()) return QAbstractScrollArea::eventFilter(watched, e);
  if (e->type() == QEvent::FocusOut) {
    auto* fe = static_cast<QFocusEvent*>(e);
    if (focused_ && !isWindowFocusChange(fe->reason()) && !focusIsInside()) doExit();
    return false;
  }
  if (e->type() != QEvent::KeyPress) return false;
  auto* ke = static_cast<QKeyEvent*>(e);
  switch (ke->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: handleKeyChar(13); return true;
    case Qt::Key_Escape: handleKeyChar(27); return true;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: return handleNavigationKey(ke);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      if (options_ & goTabs) return handleNavigationKey(ke);
      return false;
    default: return false;
  }
}

// ---- Keyboard -------------------------------------------------------------------------

bool TSortGrid::event(QEvent* e) {
  // Tab moves between cells under goTabs instead of leaving the grid.
  if (e->type() == QEvent::KeyPress && (options_ & goTabs)) {
    auto* ke = static_cast<QKeyEvent*>(e);
    if (ke->key() == Qt::Key_Tab || ke->key() == Qt::Key_Backtab) {
      keyPressEvent(ke);
      return true;
    }
  }
  return QAbstractScrollArea::event(e);
}

bool TSortGrid::handleNavigationKey(QKeyEvent* e) {
  if (colCount_ <= fixedCols_ || RowCount() <= fixedRows_) return false;
  const bool shift = e->modifiers() & Qt::ShiftModifier;
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const bool rowSelect = options_ & goRowSelect;
  Cell t = current_;
  const int page = std::max(1, VisibleRowCount());
  switch (e->key()) {
    case Qt::Key_Up: --t.row; break;
    case Qt::Key_Down: ++t.row; break;
    case Qt::Key_PageUp: t.row -= page; break;
    case Qt::Key_PageDown: t.row += page; break;
    case Qt::Key_Left:
      if (rowSelect) {
        setLeftCol(leftCol_ - 1);
        return true;
      }
      --t.col;
      break;
    case Qt::Key_Right:
      if (rowSelect) {
        setLeftCol(leftCol_ + 1);
        return true;
      }
      ++t.col;
      break;
    case Qt::Key_Home:
      if (ctrl || rowSelect)
        t.row = fixedRows_;
      else
        t.col = fixedCols_;
      break;
    case Qt::Key_End:
      if (ctrl || rowSelect)
        t.row = RowCount() - 1;
      else
        t.col = colCount_ - 1;
      break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: {
      if (!(options_ & goTabs)) return false;
      const bool back = e->key() == Qt::Key_Backtab || shift;
      const int step = rowSelect ? 0 : 1;
      if (!back) {
        t.col += step;
        if (t.col >= colCount_ || step == 0) t = {fixedCols_, t.row + 1};
        if (t.row >= RowCount()) {
          focusNextChild();  // past the last cell the focus moves on
          return true;
        }
      } else {
        t.col -= step;
        if (t.col < fixedCols_ || step == 0) t = {colCount_ - 1, t.row - 1};
        if (t.row < fixedRows_) {
          focusPreviousChild();
          return true;
        }
      }
      moveCurrent(t.col, t.row, true, true);
      return true;
    }
    default: return false;
  }
  const bool extend = shift && (options_ & goRangeSelect);
  moveCurrent(t.col, t.row, !extend, true);
  return true;
}

// A key character after the navigation keys: Enter validates, then OnKeyPress may
// change or swallow the key, then the grid acts (editor on Enter and on typing).
void TSortGrid::handleKeyChar(int key) {
  if (key == 13) ValidateCell();
  int k = key;
  if (OnKeyPress) OnKeyPress(this, k);
  if (k == 0) return;
  if (k == 9 && key != 9) {
    if (options_ & goTabs) {
      QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
      handleNavigationKey(&tab);
    }
    return;
  }
  if (!(options_ & goEditing)) return;
  if (k == 13) {
    if (!EditorMode()) {
      showEditor();
    } else if (options_ & goAlwaysShowEditor) {
      editor_->selectAll();
    } else {
      hideEditor();
    }
    return;
  }
  if (k == 27) {
    if (EditorMode()) {
      const QString original = editorOriginal_;
      setCells(editorCell_.col, editorCell_.row, original);
      if (!(options_ & goAlwaysShowEditor)) hideEditor();
    }
    return;
  }
  if (k >= 32 && k != 127 && !EditorMode() && !(options_ & goRowSelect)) {
    const QString start = QString(QChar(k));
    showEditor(&start);
  }
}

void TSortGrid::keyPressEvent(QKeyEvent* e) {
  // Typed ahead of the focus reaching the editor. A key the editor does not take
  // comes back here as its parent's: it is then the grid's own, not sent again.
  if (EditorMode() && editor_ && !forwardingKey_) {
    forwardingKey_ = true;
    QApplication::sendEvent(editor_.data(), e);
    forwardingKey_ = false;
    return;
  }
  const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = mods & Qt::ControlModifier;
  bool handled = false;
  if (!(ctrl && (e->key() == Qt::Key_Insert || e->key() == Qt::Key_Delete))) handled = handleNavigationKey(e);
  if (extendedKeys_ && !EditorMode() && ctrl && !(mods & ~(Qt::ControlModifier | Qt::ShiftModifier))) {
    const bool shift = mods & Qt::ShiftModifier;
    if (e->key() == Qt::Key_Insert) {
      if (shift)
        InsertColumn(current_.col);
      else
        InsertRow(current_.row);
      handled = true;
    } else if (e->key() == Qt::Key_Delete) {
      if (!shift && fixedRows_ + 1 < RowCount()) DeleteRow(current_.row);
      if (shift && fixedCols_ + 1 < colCount_) DeleteColumn(current_.col);
      handled = true;
    }
  }
  int key = 0;
  switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: key = 13; break;
    case Qt::Key_Escape: key = 27; break;
    case Qt::Key_Backspace: key = 8; break;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: key = (options_ & goTabs) ? 0 : 9; break;
    default:
      if (!ctrl && !e->text().isEmpty() && e->text()[0].unicode() >= 32 && e->text()[0].unicode() != 127)
        key = e->text()[0].unicode();
  }
  if (key != 0) {
    handleKeyChar(key);
    handled = true;
  }
  if (!handled) QAbstractScrollArea::keyPressEvent(e);
}

// ---- Mouse ------------------------------------------------------------------------------

bool TSortGrid::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::ContextMenu && rightButtonDown_) {
    auto* ce = static_cast<QContextMenuEvent*>(e);
    if (ce->reason() == QContextMenuEvent::Mouse) {
      menuPending_ = true;
      menuPos_ = ce->pos();
      menuGlobalPos_ = ce->globalPos();
      e->accept();
      return true;
    }
  }
  return QAbstractScrollArea::viewportEvent(e);
}

void TSortGrid::mousePressEvent(QMouseEvent* e) {
  mouseState_ = MouseState::Normal;
  if (e->button() == Qt::RightButton) {
    rightButtonDown_ = true;
    menuPending_ = false;
  }
  if (e->button() != Qt::LeftButton) return;
  const QPoint pos = e->position().toPoint();
  if (options_ & goColSizing) {
    const int c = separatorAt(Axis::Cols, pos);
    if (c >= 0) {
      mouseState_ = MouseState::ColSizing;
      sizingIndex_ = c;
      const int start = cellStart(Axis::Cols, c);
      sizingOrigin_ = start != INT_MIN ? start : pos.x() - ColWidths(c);
      sizingPos_ = pos.x();
      return;
    }
  }
  if (options_ & goRowSizing) {
    const int r = separatorAt(Axis::Rows, pos);
    if (r >= 0) {
      mouseState_ = MouseState::RowSizing;
      sizingIndex_ = r;
      const int start = cellStart(Axis::Rows, r);
      sizingOrigin_ = start != INT_MIN ? start : pos.y() - RowHeights(r);
      sizingPos_ = pos.y();
      return;
    }
  }
  int c, r;
  if (!MouseToCell(pos, c, r)) return;
  if (r < fixedRows_ && c >= fixedCols_ && (options_ & goColMoving)) {
    mouseState_ = MouseState::ColMoving;
    movingFrom_ = c;
    return;
  }
  if (c < fixedCols_ && r >= fixedRows_ && (options_ & goRowMoving)) {
    mouseState_ = MouseState::RowMoving;
    movingFrom_ = r;
    return;
  }
  if (r < fixedRows_ || c < fixedCols_) return;  // fixed cells select nothing
  const bool wasCurrent = c == current_.col && r == current_.row && !EditorMode();
  const bool extend = (e->modifiers() & Qt::ShiftModifier) && (options_ & goRangeSelect);
  moveCurrent(c, r, !extend, true);
  if (options_ & goRangeSelect) mouseState_ = MouseState::Selecting;
  if (wasCurrent && !extend && (options_ & goEditing) && !(options_ & goRowSelect)) showEditor();
}

void TSortGrid::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pos = e->position().toPoint();
  switch (mouseState_) {
    case MouseState::ColSizing:
    case MouseState::RowSizing:
      sizingPos_ =
          mouseState_ == MouseState::ColSizing ? std::max(sizingOrigin_, pos.x()) : std::max(sizingOrigin_, pos.y());
      viewport()->update();
      return;
    case MouseState::Selecting: {
      if (!(e->buttons() & Qt::LeftButton)) return;
      // Past an edge the selection grows by one row (column) at a time, scrolling.
      int c = indexAt(Axis::Cols, std::clamp(pos.x(), 0, viewport()->width() - 1));
      int r = indexAt(Axis::Rows, std::clamp(pos.y(), 0, viewport()->height() - 1));
      if (pos.y() >= viewport()->height()) r = current_.row + 1;
      if (pos.y() < fixedExtent(Axis::Rows)) r = std::max(fixedRows_, std::min(current_.row, topRow_) - 1);
      if (pos.x() >= viewport()->width()) c = current_.col + 1;
      if (pos.x() < fixedExtent(Axis::Cols)) c = std::max(fixedCols_, std::min(current_.col, leftCol_) - 1);
      if (c < 0) c = colCount_ - 1;
      if (r < 0) r = RowCount() - 1;
      if (c != current_.col || r != current_.row) moveCurrent(c, r, false, true);
      return;
    }
    default: break;
  }
  if (e->buttons() == Qt::NoButton) {
    if ((options_ & goColSizing) && separatorAt(Axis::Cols, pos) >= 0)
      viewport()->setCursor(Qt::SplitHCursor);
    else if ((options_ & goRowSizing) && separatorAt(Axis::Rows, pos) >= 0)
      viewport()->setCursor(Qt::SplitVCursor);
    else
      viewport()->unsetCursor();
  }
}

// Click sorting: a release over a title cell, with the grid focused, nothing started
// by the press (sizing, moving, range selecting), no modifier key or other button
// held, and at least one fixed row.
void TSortGrid::clickSortRelease(QMouseEvent* e) {
  if (!focused_ || !clickSorting_ || mouseState_ != MouseState::Normal || fixedRows_ < 1) return;
  if ((e->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || e->buttons() != Qt::NoButton) return;
  int c, r;
  if (!MouseToCell(e->position().toPoint(), c, r) || r >= fixedRows_) return;
  TSortOptions opts;
  opts.SortKind = skAutomatic;
  opts.SortOrder = e->button() == Qt::RightButton ? soDescending : soAscending;
  opts.CaseSensitive = caseSensitive_;
  opts.CompareProc = nullptr;
  if (OnClickSort) OnClickSort(this, c, r, opts);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto restore = qScopeGuard([] { QApplication::restoreOverrideCursor(); });
  SortByColumn(c, opts);
}

void TSortGrid::mouseReleaseEvent(QMouseEvent* e) {
  clickSortRelease(e);
  const QPoint pos = e->position().toPoint();
  const MouseState state = mouseState_;
  mouseState_ = MouseState::Normal;
  switch (state) {
    case MouseState::ColSizing:
      setColWidths(sizingIndex_, std::max(0, pos.x() - sizingOrigin_));
      viewport()->update();
      break;
    case MouseState::RowSizing:
      setRowHeights(sizingIndex_, std::max(0, pos.y() - sizingOrigin_));
      viewport()->update();
      break;
    case MouseState::ColMoving: {
      const int to = indexAt(Axis::Cols, pos.x());
      if (to >= fixedCols_ && to != movingFrom_) MoveColumn(movingFrom_, to);
      break;
    }
    case MouseState::RowMoving: {
      const int to = indexAt(Axis::Rows, pos.y());
      if (to >= fixedRows_ && to != movingFrom_) MoveRow(movingFrom_, to);
      break;
    }
    default: break;
  }
  if (e->button() == Qt::LeftButton) Click();
  if (e->button() == Qt::RightButton) {
    rightButtonDown_ = false;
    if (menuPending_) {
      menuPending_ = false;
      QCoreApplication::postEvent(
          viewport(), new QContextMenuEvent(QContextMenuEvent::Mouse, menuPos_, menuGlobalPos_, e->modifiers()));
    }
  }
}

void TSortGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  mousePressEvent(e);
  if (e->button() != Qt::LeftButton || mouseState_ == MouseState::ColSizing || mouseState_ == MouseState::RowSizing)
    return;
  if (OnDblClick) OnDblClick(this);
  int c, r;
  if ((options_ & goEditing) && !EditorMode() && MouseToCell(e->position().toPoint(), c, r) && c >= fixedCols_ &&
      r >= fixedRows_)
    showEditor();
}

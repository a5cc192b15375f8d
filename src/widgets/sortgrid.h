// TSortGrid: the program's one list control. A grid of text cells, addressed by
// column and row (both from 0), with fixed title rows at the top and fixed columns at
// the left, a current cell, a rectangular selection, an attached pointer per cell,
// per-column widths and per-row heights. It sorts its rows when the user clicks a
// title cell (left button ascending, right button descending), sizes columns to their
// contents, draws each cell with its own alignment and bevel, inserts and deletes rows
// and columns from the keyboard, validates edited cells, and loads and saves its
// contents as delimited text.
//
// The cells live in a store of the grid's own: one vector of strings per row, rows
// kept by value in one vector, so moving a row (sorting, insert, delete) moves a
// handle and never copies text. Painting is lazy and touches only the visible cells;
// changing cells or sizes schedules a repaint and a scroll-bar update, so filling a
// grid of 100,000 rows costs about as much as building its strings.
//
// Threads: user-interface thread only. Sorting is not re-entrant.
#pragma once

#include <QAbstractScrollArea>
#include <QBrush>
#include <QColor>
#include <QFlags>
#include <QFont>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <vector>

class QLineEdit;
class QPainter;

// Horizontal text placement in a cell.
enum TAlignment : std::uint8_t { taLeftJustify, taRightJustify, taCenter };
// Vertical text placement in a cell.
enum TVertAlignment : std::uint8_t { taTopJustify, taBottomJustify, taMiddle };
// The bevel drawn around a non-fixed cell.
enum TCellBevelStyle : std::uint8_t { cbNone, cbRaised, cbLowered };
// How a sort compares the texts of a column.
enum TSortKind : std::uint8_t { skAutomatic, skText, skNumeric, skDateTime, skTime, skCustom };
enum TSortOrder : std::uint8_t { soAscending, soDescending };
// Which scroll bars the grid shows (each only while there is something to scroll).
enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

// A comparison for skCustom sorts: < 0, 0 or > 0.
using TCompareProc = int (*)(const QString& S1, const QString& S2);

struct TSortOptions {
  TSortKind SortKind = skAutomatic;
  TSortOrder SortOrder = soAscending;
  bool CaseSensitive = false;
  TCompareProc CompareProc = nullptr;  // used only with skCustom
};

enum TGridOption : unsigned {
  goFixedVertLine = 1u << 0,
  goFixedHorzLine = 1u << 1,
  goVertLine = 1u << 2,
  goHorzLine = 1u << 3,
  goRangeSelect = 1u << 4,
  goDrawFocusSelected = 1u << 5,
  goRowSizing = 1u << 6,
  goColSizing = 1u << 7,
  goRowMoving = 1u << 8,
  goColMoving = 1u << 9,
  goEditing = 1u << 10,
  goTabs = 1u << 11,
  goRowSelect = 1u << 12,
  goAlwaysShowEditor = 1u << 13,
  goThumbTracking = 1u << 14,
};
Q_DECLARE_FLAGS(TGridOptions, TGridOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridOptions)

enum TGridDrawStateFlag : unsigned { gdSelected = 1u << 0, gdFocused = 1u << 1, gdFixed = 1u << 2 };
Q_DECLARE_FLAGS(TGridDrawState, TGridDrawStateFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TGridDrawState)

// The drawing format of one cell, handed to OnGetCellFormat. Brush, Font and
// FontColor refer to the grid's drawing state for this cell: a handler changes them
// in place (FontColor is the text colour, which a QFont does not carry).
struct TFormatOptions {
  QBrush& Brush;
  QFont& Font;
  QColor& FontColor;
  TAlignment AlignmentHorz;
  TVertAlignment AlignmentVert;
  TCellBevelStyle BevelStyle;
  QColor TopLeftColor;
  QColor BottomRightColor;
  bool HideText = false;  // fill the cell but draw no text
};

// A cell rectangle in columns and rows, inclusive on all sides.
struct TGridRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  bool operator==(const TGridRect&) const = default;
};

class TSortGrid : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // A new grid has 5 columns and 5 rows, one fixed row and one fixed column,
  // columns 64 pixels wide, rows 24 pixels high, the options goFixedVertLine,
  // goFixedHorzLine, goVertLine, goHorzLine and goRangeSelect, and the sorting
  // properties at their defaults (below).
  explicit TSortGrid(QWidget* parent = nullptr);
  ~TSortGrid() override;

  // ---- Cells -------------------------------------------------------------------
  // Out-of-range addresses read as empty / null and are ignored on writing.
  QString Cells(int ACol, int ARow) const;
  void setCells(int ACol, int ARow, const QString& Text);
  // The pointer attached to a cell (null when none). The grid never owns it.
  void* Objects(int ACol, int ARow) const;
  void setObjects(int ACol, int ARow, void* Object);
  // A whole row or column as a list (ColCount or RowCount entries). Setting writes
  // as many cells as the list has, at most to the end of the row or column.
  QStringList Rows(int ARow) const;
  void setRows(int ARow, const QStringList& Texts);
  QStringList Cols(int ACol) const;
  void setCols(int ACol, const QStringList& Texts);

  // ---- Size ------------------------------------------------------------------
  // Counts are at least 1. A fixed count is at most the count (larger values are
  // lowered, and shrinking a count below its fixed count lowers that too), so a grid
  // may consist of its title rows alone; it then has no current cell, and Col / Row
  // point just past the last column / row. Changing FixedRows (FixedCols) puts the
  // current row (column) on the first non-fixed one. Each size change raises
  // OnSizeChanged with the old counts.
  int ColCount() const { return colCount_; }
  void setColCount(int Value);
  int RowCount() const { return static_cast<int>(rows_.size()); }
  void setRowCount(int Value);
  int FixedCols() const { return fixedCols_; }
  void setFixedCols(int Value);
  int FixedRows() const { return fixedRows_; }
  void setFixedRows(int Value);

  // Pixels. Setting a default resets every column (row) to it.
  int DefaultColWidth() const { return defaultColWidth_; }
  void setDefaultColWidth(int Value);
  int DefaultRowHeight() const { return defaultRowHeight_; }
  void setDefaultRowHeight(int Value);
  int ColWidths(int ACol) const;
  void setColWidths(int ACol, int Width);  // raises OnColumnWidthsChanged
  int RowHeights(int ARow) const;
  void setRowHeights(int ARow, int Height);  // raises OnRowHeightsChanged

  // ---- Current cell, selection, scrolling ---------------------------------------
  int Col() const { return current_.col; }
  void setCol(int Value);  // moves the current cell and the selection anchor
  int Row() const { return current_.row; }
  void setRow(int Value);
  // The selected rectangle; with goRowSelect it spans every non-fixed column.
  TGridRect Selection() const;
  // Anchor at the top-left corner, current cell at the bottom-right one.
  void setSelection(const TGridRect& Value);
  // First non-fixed row / column shown.
  int TopRow() const { return topRow_; }
  void setTopRow(int Value);
  int LeftCol() const { return leftCol_; }
  void setLeftCol(int Value);
  // Non-fixed rows / columns wholly visible from TopRow / LeftCol.
  int VisibleRowCount() const;
  int VisibleColCount() const;

  // ---- Appearance and behaviour --------------------------------------------------
  TGridOptions Options() const { return options_; }
  void setOptions(TGridOptions Value);
  QColor Color() const { return color_; }  // background of the non-fixed cells
  void setColor(const QColor& Value);
  QColor FixedColor() const { return fixedColor_; }  // background of the fixed cells
  void setFixedColor(const QColor& Value);
  QColor FontColor() const { return fontColor_; }  // text colour
  void setFontColor(const QColor& Value);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void setScrollBars(TScrollStyle Value);
  // When false, cells are not drawn by the grid; OnDrawCell does it all.
  bool DefaultDrawing() const { return defaultDrawing_; }
  void setDefaultDrawing(bool Value);

  bool CaseSensitive() const { return caseSensitive_; }
  void setCaseSensitive(bool Value) { caseSensitive_ = Value; }
  TAlignment AlignmentHorz() const { return alignmentHorz_; }
  void setAlignmentHorz(TAlignment Value);
  TVertAlignment AlignmentVert() const { return alignmentVert_; }
  void setAlignmentVert(TVertAlignment Value);
  bool ClickSorting() const { return clickSorting_; }
  void setClickSorting(bool Value) { clickSorting_ = Value; }
  TCellBevelStyle BevelStyle() const { return bevelStyle_; }
  void setBevelStyle(TCellBevelStyle Value);
  // Scroll-bar thumbs sized to the visible share (the bar's page step).
  bool ProportionalScrollBars() const { return proportionalScrollBars_; }
  void setProportionalScrollBars(bool Value);
  // Ctrl+Insert / Ctrl+Delete insert and delete rows, with Shift columns.
  bool ExtendedKeys() const { return extendedKeys_; }
  void setExtendedKeys(bool Value) { extendedKeys_ = Value; }

  // True once an edit has changed a cell's text; Clear resets it.
  bool Modified() const { return modified_; }
  // Whether the in-place editor is open; opening needs goEditing.
  bool EditorMode() const;
  void setEditorMode(bool Value);

  // ---- Sorting -------------------------------------------------------------------
  // Sorts the data rows by the texts of column ACol. Does nothing while the editor is
  // open or with fewer than two data rows. skAutomatic is replaced by
  // DetectSortKind(ACol); then OnBeginSort may change the options, the rows move
  // whole (texts and attached pointers; fixed rows stay), the current cell follows
  // its data, and OnEndSort is raised. Equal keys keep their previous order in both
  // directions. Under a numeric, date-time or time sort, a row whose text does not
  // convert keeps its position and the others are sorted around it.
  void SortByColumn(int ACol, TSortOptions SortOptions);
  // skNumeric when every data cell of the column is a number, else skDateTime when
  // every one is a date-time (date with optional time), else skTime when every one
  // is a time of day, else skText. An empty cell makes the column text.
  TSortKind DetectSortKind(int ACol) const;
  // True while the record of the last sort still matches the grid (the same rows,
  // no row inserted, deleted or moved since); otherwise drops the record.
  bool HasSortRecord();
  // Puts the rows back in the order they had before the last sort; nothing without
  // a sort record.
  void RestoreUnsortedOrder();

  // ---- Sizing to contents --------------------------------------------------------
  // Width of the column's widest text (in the font OnGetCellFormat chooses for it)
  // plus the width of "x".
  void AutoSizeColumn(int ACol);
  // Every non-fixed column, and the fixed ones when DoFixedCols; ExtraWidth is added.
  void AutoSizeAllColumns(bool DoFixedCols, int ExtraWidth);

  // ---- Rows and columns ------------------------------------------------------------
  // Inserts an empty row (column) at the index, makes it current and raises
  // OnRowInsert (OnColumnInsert).
  void InsertRow(int ARow);
  void InsertColumn(int ACol);
  // Removes the row (column), then raises OnRowDelete (OnColumnDelete). The last
  // remaining row (column) is cleared instead.
  void DeleteRow(int ARow);
  void DeleteColumn(int ACol);
  // Moves a row (column) with its height (width); the current cell and the anchor
  // stay on their data.
  void MoveRow(int FromIndex, int ToIndex);
  void MoveColumn(int FromIndex, int ToIndex);
  void SwapRows(int A, int B);
  void SwapColumns(int A, int B);

  // Makes the cell current (at least the first non-fixed one), collapses the
  // selection onto it and scrolls it into view, unless OnSelectCell refuses it.
  void GoToCell(int ACol, int ARow);
  // Empties every cell (texts and pointers); sizes stay. Clears Modified.
  void Clear();
  // First cell equal to S ignoring case, scanning columns from 0 and in each column
  // rows from 0. On a hit stores its address and returns true.
  bool FindCell(const QString& S, int& ACol, int& ARow) const;
  // Replaces the contents by the lines of a UTF-8 text file, each split at every
  // Delimiter (no quoting: a trailing delimiter gives an empty last field, an empty
  // line one empty field). Returns false, changing nothing, when the file cannot be
  // read.
  bool LoadFromFile(const QString& FileName, QChar Delimiter);
  // Writes every row (fixed ones included) as one line of cells joined by Delimiter.
  // The file is replaced only when completely written; false on failure.
  bool SaveToFile(const QString& FileName, QChar Delimiter) const;

  // The text as the grid shows it: control characters and the line and paragraph
  // separators, which would break, hide or fake a line, are replaced by visible
  // stand-ins: C0 controls and DEL in caret notation ("^@", "^G", "^J", "^[" ...,
  // "^?"), C1 controls and the separators by U+FFFD. Other text comes back
  // unchanged. The cells themselves keep their texts.
  static QString VisibleText(const QString& Text);

  // ---- Geometry --------------------------------------------------------------------
  // The cell's rectangle in viewport coordinates (empty when it is not on screen).
  QRect CellRect(int ACol, int ARow) const;
  // The cell under a viewport position; false (and -1, -1) when there is none.
  bool MouseToCell(const QPoint& Pos, int& ACol, int& ARow) const;

  // ---- Events ----------------------------------------------------------------------
  // Unset events are skipped. Reference arguments may be changed by the handler.
  std::function<void(TSortGrid* Sender, int Col, int Row, TGridDrawState State, TFormatOptions& FormatOptions)>
      OnGetCellFormat;
  std::function<void(TSortGrid* Sender, int Col, int Row, TSortOptions& SortOptions)> OnClickSort;
  std::function<void(TSortGrid* Sender, int Index)> OnRowInsert;
  std::function<void(TSortGrid* Sender, int Index)> OnRowDelete;
  std::function<void(TSortGrid* Sender, int Index)> OnColumnInsert;
  std::function<void(TSortGrid* Sender, int Index)> OnColumnDelete;
  std::function<void(TSortGrid* Sender)> OnColumnWidthsChanged;
  std::function<void(TSortGrid* Sender)> OnRowHeightsChanged;
  std::function<void(TSortGrid* Sender, int OldColCount, int OldRowCount)> OnSizeChanged;
  std::function<void(TSortGrid* Sender, int Col, TSortOptions& SortOptions)> OnBeginSort;
  std::function<void(TSortGrid* Sender, int Col)> OnEndSort;
  // Asked for each data row when an automatic sort of column Col starts (before
  // OnBeginSort). When it answers true for any row, the sort is numeric on the
  // values it gives instead of on the texts (for a column whose texts do not order
  // as their data do, like dates shown with two-digit years); rows it answers false
  // for keep their place, as texts that do not convert do.
  std::function<bool(TSortGrid* Sender, int Col, int Row, double& Value)> OnGetSortValue;
  std::function<void(TSortGrid* Sender, int Col, int Row, QString& Value, bool& Valid)> OnCellValidate;
  // The user moved the current cell (mouse or keyboard), released the left mouse
  // button over the grid, or left the grid.
  std::function<void(TSortGrid* Sender)> OnClick;
  std::function<void(TSortGrid* Sender)> OnDblClick;
  // After the grid drew a cell (or instead, without DefaultDrawing).
  std::function<void(TSortGrid* Sender, int Col, int Row, const QRect& Rect, TGridDrawState State, QPainter& Canvas)>
      OnDrawCell;
  // Before a cell becomes current; CanSelect = false keeps the current cell.
  std::function<void(TSortGrid* Sender, int Col, int Row, bool& CanSelect)> OnSelectCell;
  // A key character (13 Enter, 27 Escape, 9 Tab, 8 Backspace, else the character's
  // code) before the grid acts on it. Key = 0 swallows it; changing it to 9 makes it
  // a Tab (which moves to the next cell under goTabs).
  std::function<void(TSortGrid* Sender, int& Key)> OnKeyPress;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

  // Raised after the current cell moved by the user, after a mouse release, and on
  // leaving; validates the remembered cell first while the grid has the focus.
  virtual void Click();
  // Draws one cell: format, OnGetCellFormat, text, bevel, OnDrawCell.
  virtual void DrawCell(QPainter& Canvas, int ACol, int ARow, const QRect& Rect, TGridDrawState State);

 private:
  struct GridRow {
    std::vector<QString> cells;  // shorter than ColCount when the tail is empty
    std::vector<void*> objects;  // empty until a pointer is attached
  };
  struct Cell {
    int col = 0, row = 0;
  };
  enum class MouseState { Normal, Selecting, ColSizing, RowSizing, ColMoving, RowMoving };
  enum class Axis { Cols, Rows };

  // Store (sortgrid.cpp)
  void changeSize(int newCols, int newRows);
  void clearRow(GridRow& r);
  std::size_t rowCapacityFor(std::size_t col) const;
  void moveRowData(int from, int to);
  void moveColData(int from, int to);
  void adjustAfterMove(Axis axis, int from, int to);
  void clampPositions();
  void dropSortRecord() { sortRecord_.clear(); }
  template <class Op>
  void withoutAlwaysShowEditor(Op op);

  // Sorting (sortgrid_sort.cpp)
  struct SortKeys;
  TSortKind detectKind(int ACol, SortKeys* keys) const;
  bool ownerKeys(int ACol, SortKeys& keys);
  void sortRows(int ACol, const TSortOptions& opts, SortKeys* detected);
  void applyRowOrder(const std::vector<int>& order);
  const QString& cellRef(int ACol, int ARow) const;  // a stored text, without a copy

  // Geometry and painting (sortgrid_view.cpp)
  int lineWidth(Axis axis, int index) const;
  int extent(Axis axis, int index) const;
  int fixedExtent(Axis axis) const;
  int maxTopLeft(Axis axis) const;
  int firstVisible(Axis axis) const;
  int cellStart(Axis axis, int index) const;  // viewport coordinate, or INT_MIN when hidden
  int indexAt(Axis axis, int pos) const;
  int separatorAt(Axis axis, const QPoint& p) const;
  void scheduleLayout();
  void updateScrollBars();
  void updatePageSteps();
  void scrollIntoView(int ACol, int ARow);
  void invalidate();
  TGridDrawState stateOf(int ACol, int ARow) const;
  void defaultFormat(int ACol, int ARow, TGridDrawState State, QBrush& brush, QFont& font, QColor& fontColor) const;
  void paintLines(QPainter& p, int ACol, int ARow, const QRect& r) const;

  // Input (sortgrid_input.cpp)
  bool canSelect(int ACol, int ARow);
  void moveCurrent(int ACol, int ARow, bool moveAnchor, bool byUser);
  bool handleNavigationKey(QKeyEvent* e);
  void handleKeyChar(int key);
  void clickSortRelease(QMouseEvent* e);
  void showEditor(const QString* startText = nullptr);
  void hideEditor();
  void placeEditor();
  void editorTextEdited(const QString& text);
  void doEnter();
  void doExit();
  bool focusIsInside() const;
  void rememberCell();
  void ValidateCell();
  void syncEditorFromCell();

  // Store
  std::vector<GridRow> rows_;
  int colCount_ = 5;
  int fixedCols_ = 1;
  int fixedRows_ = 1;
  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;  // empty while every row has the default height
  int defaultColWidth_ = 64;
  int defaultRowHeight_ = 24;

  // Position
  Cell current_{1, 1};
  Cell anchor_{1, 1};
  int topRow_ = 1;
  int leftCol_ = 1;

  // Properties
  TGridOptions options_ = goFixedVertLine | goFixedHorzLine | goVertLine | goHorzLine | goRangeSelect;
  QColor color_;
  QColor fixedColor_;
  QColor fontColor_;
  TScrollStyle scrollBars_ = ssBoth;
  bool defaultDrawing_ = true;
  bool caseSensitive_ = false;
  TAlignment alignmentHorz_ = taLeftJustify;
  TVertAlignment alignmentVert_ = taTopJustify;
  bool clickSorting_ = true;
  TCellBevelStyle bevelStyle_ = cbNone;
  bool proportionalScrollBars_ = true;
  bool extendedKeys_ = false;

  // Sorting: the source row of each sorted position, kept for RestoreUnsortedOrder.
  std::vector<int> sortRecord_;
  bool sorting_ = false;

  // Editing and validation
  QPointer<QLineEdit> editor_;
  Cell editorCell_{-1, -1};
  QString editorOriginal_;
  bool forwardingKey_ = false;  // a key is on its way to the editor
  bool modified_ = false;
  bool focused_ = false;
  Cell rememberedCell_;
  QString rememberedText_;
  bool rememberedModified_ = false;
  bool validating_ = false;

  // Mouse
  MouseState mouseState_ = MouseState::Normal;
  int sizingIndex_ = -1;
  int sizingOrigin_ = 0;  // viewport coordinate where the sized cell starts
  int sizingPos_ = 0;
  int movingFrom_ = -1;
  // A context menu asked for while the right button is down waits for its release,
  // so that a right click on a title sorts before the menu opens.
  bool rightButtonDown_ = false;
  bool menuPending_ = false;
  QPoint menuPos_;
  QPoint menuGlobalPos_;

  // Deferred work
  bool layoutPending_ = false;
  bool updatePending_ = false;
};

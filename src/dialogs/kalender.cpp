#include "dialogs/kalender.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QVBoxLayout>
#include <ctime>

#include "platform/datetime.h"
#include "widgets/qt_ui.h"

using calendar::Date;
using calendar::MonthGrid;

namespace {

constexpr int kColumnWidth = 41;
constexpr int kRowHeight = 22;
constexpr int kWeekColumnWidth = 48;
const QColor kRed(0xD0, 0, 0);

Date LocalToday() {
  const platform::DateTime now = platform::fromUnixTime(static_cast<std::int64_t>(std::time(nullptr)));
  return Date{now.year, now.month, now.day};
}

// A grid of fixed cells without scroll bars or headers, sized to show them all;
// its first row holds titles in the colours of buttons.
QTableWidget* FixedGrid(int rows, int columns, int columnWidth, const QPalette& colours) {
  auto* g = new QTableWidget(rows, columns);
  g->horizontalHeader()->hide();
  g->verticalHeader()->hide();
  g->horizontalHeader()->setDefaultSectionSize(columnWidth);
  g->horizontalHeader()->setMinimumSectionSize(columnWidth);
  const int rowHeight = std::max(kRowHeight, g->fontMetrics().height() + 6);  // room for a large font
  g->verticalHeader()->setDefaultSectionSize(rowHeight);
  g->verticalHeader()->setMinimumSectionSize(rowHeight);
  g->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  g->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  g->setEditTriggers(QAbstractItemView::NoEditTriggers);
  g->setTabKeyNavigation(false);
  const int frame = 2 * g->frameWidth();
  g->setFixedSize(columns * columnWidth + frame, rows * rowHeight + frame);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignCenter);
      g->setItem(r, c, item);
    }
  for (int c = 0; c < columns; ++c) {
    QTableWidgetItem* title = g->item(0, c);
    title->setFlags(Qt::NoItemFlags);
    title->setBackground(colours.button());
    title->setForeground(colours.buttonText());
    QFont bold = title->font();
    bold.setBold(true);
    title->setFont(bold);
  }
  return g;
}

// The hint panel: a framed label in the colours of tool tips, hidden.
QFrame* HintPanel(QWidget* parent, QLabel*& label) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(QStringLiteral("pa_Hint"));
  panel->setFrameStyle(QFrame::Box | QFrame::Plain);
  panel->setAutoFillBackground(true);
  QPalette info = panel->palette();
  info.setColor(QPalette::Window, info.color(QPalette::ToolTipBase));
  info.setColor(QPalette::WindowText, info.color(QPalette::ToolTipText));
  panel->setPalette(info);
  label = new QLabel(panel);
  label->setObjectName(QStringLiteral("la_Hint"));
  label->setTextFormat(Qt::PlainText);
  auto* layout = new QHBoxLayout(panel);
  layout->setContentsMargins(4, 2, 4, 2);
  layout->addWidget(label);
  panel->hide();
  return panel;
}

QPushButton* NavButton(const char* text, const char* name, int tag) {
  auto* b = new QPushButton(QString::fromUtf8(text));
  b->setObjectName(QLatin1String(name));
  b->setProperty("tag", tag);
  b->setAutoDefault(false);
  b->setFocusPolicy(Qt::TabFocus);
  // Narrow, so that the row of seven is about as wide as the grids below.
  b->setFixedWidth(std::max(44, b->fontMetrics().horizontalAdvance(b->text()) + 14));
  return b;
}

}  // namespace

TF_Kalender::TF_Kalender(const Date& initial, QWidget* parent) : QDialog(parent), Today(LocalToday) {
  setObjectName(QStringLiteral("F_Kalender"));
  setWindowTitle(QStringLiteral("Kalender"));
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setMouseTracking(true);

  bu_FgAar = NavButton("< År ", "bu_FgAar", 0);
  bu_FgMan = NavButton("< Mån", "bu_FgMan", 1);
  bu_FgDag = NavButton("< Dag", "bu_FgDag", 2);
  bu_NxtDag = NavButton("Dag >", "bu_NxtDag", 3);
  bu_NxtMan = NavButton("Mån >", "bu_NxtMan", 4);
  bu_NxtAar = NavButton("År >", "bu_NxtAar", 5);
  for (QPushButton* b : {bu_FgAar, bu_FgMan, bu_FgDag, bu_NxtDag, bu_NxtMan, bu_NxtAar})
    connect(b, &QPushButton::clicked, this, [this, b] { bu_BrowseClick(b->property("tag").toInt()); });
  bu_Idag = NavButton("Idag", "bu_Idag", -1);
  connect(bu_Idag, &QPushButton::clicked, this, &TF_Kalender::bu_IdagClick);
  bu_Ok = new QPushButton(QStringLiteral("OK"));
  bu_Ok->setObjectName(QStringLiteral("bu_Ok"));
  bu_Ok->setDefault(true);
  connect(bu_Ok, &QPushButton::clicked, this, &TF_Kalender::bu_OkClick);

  gr_Cal = FixedGrid(MonthGrid::kRows, MonthGrid::kColumns, kColumnWidth, palette());
  gr_Cal->setObjectName(QStringLiteral("gr_Cal"));
  gr_Cal->setSelectionMode(QAbstractItemView::SingleSelection);
  gr_Cal->viewport()->setMouseTracking(true);
  gr_Cal->viewport()->installEventFilter(this);
  gr_Cal->installEventFilter(this);
  connect(gr_Cal, &QTableWidget::cellClicked, this, &TF_Kalender::gr_CalClick);
  connect(gr_Cal, &QTableWidget::cellDoubleClicked, this, [this](int row, int column) {
    if (!gr_CalSelectCell(row, column)) return;
    gr_CalClick(row, column);
    bu_OkClick();
  });
  // Whatever moves the grid's current cell (a click, the keyboard), an empty cell
  // is never left selected: the current date's cell comes back.
  connect(gr_Cal, &QTableWidget::currentCellChanged, this, [this](int row, int column) {
    if (selecting_) return;
    if (gr_CalSelectCell(row, column))
      gr_CalClick(row, column);
    else
      SetDate(date_);
  });

  gr_Week = FixedGrid(MonthGrid::kRows, 1, kWeekColumnWidth, palette());
  gr_Week->setObjectName(QStringLiteral("gr_Week"));
  gr_Week->setFocusPolicy(Qt::NoFocus);
  gr_Week->setSelectionMode(QAbstractItemView::NoSelection);
  gr_Week->setMouseTracking(true);
  for (int r = 1; r < MonthGrid::kRows; ++r) gr_Week->item(r, 0)->setFlags(Qt::ItemIsEnabled);

  auto* nav = new QHBoxLayout;
  nav->setSpacing(3);
  for (QPushButton* b : {bu_FgAar, bu_FgMan, bu_FgDag, bu_Idag, bu_NxtDag, bu_NxtMan, bu_NxtAar}) nav->addWidget(b);
  auto* grids = new QHBoxLayout;
  grids->setSpacing(2);
  grids->addStretch(1);
  grids->addWidget(gr_Week);
  grids->addWidget(gr_Cal);
  grids->addStretch(1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(bu_Ok);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(nav);
  layout->addLayout(grids);
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  pa_Hint = HintPanel(this, la_Hint);

  SetDate(calendar::isValid(initial) ? initial : Today());
  gr_Cal->setFocus();
  if (!parent)
    if (QScreen* s = screen()) move(s->availableGeometry().center() - QRect(QPoint(), sizeHint()).center());
}

void TF_Kalender::SetDate(const Date& d) {
  date_ = d;
  if (holidayYear_ != d.year) {
    holidays_ = calendar::holidays(d.year);
    holidayYear_ = d.year;
  }
  ShowMonth();
}

void TF_Kalender::Move(std::optional<Date> d) {
  if (d) SetDate(*d);
}

void TF_Kalender::ShowMonth() {
  pa_Hint->hide();  // it named a day that may no longer be under the mouse
  setWindowTitle(QStringLiteral("%1 %2").arg(QString::fromUtf8(calendar::monthName(date_.month))).arg(date_.year));
  for (int r = 0; r < MonthGrid::kRows; ++r) {
    for (int c = 0; c < MonthGrid::kColumns; ++c) gr_CalDrawCell(r, c);
    gr_WeekDrawCell(r);
  }
  const auto [row, column] = MonthGrid(date_.year, date_.month).cellOf(date_.day);
  selecting_ = true;
  gr_Cal->setCurrentCell(row, column);
  selecting_ = false;
}

void TF_Kalender::gr_CalDrawCell(int row, int column) {
  QTableWidgetItem* item = gr_Cal->item(row, column);
  if (row == 0) {
    item->setText(QString::fromUtf8(calendar::weekdayTitle(column)));
    return;
  }
  const int day = MonthGrid(date_.year, date_.month).dayAt(row, column);
  item->setText(day ? QString::number(day) : QString());
  item->setFlags(day ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags);
  const bool red = day && (column == 6 || !calendar::holidayName(holidays_, date_.month, day).empty());
  item->setForeground(red ? QBrush(kRed) : gr_Cal->palette().text());
}

void TF_Kalender::gr_WeekDrawCell(int row) {
  QTableWidgetItem* item = gr_Week->item(row, 0);
  if (row == 0) {
    item->setText(Swedish ? QStringLiteral("Vecka") : QStringLiteral("Week"));
    return;
  }
  const int week = MonthGrid(date_.year, date_.month).weekValueOfRow(row);  // 0: a row without days
  item->setText(week ? QStringLiteral("%1").arg(week, 4, 10, QLatin1Char('0')) : QString());
}

bool TF_Kalender::gr_CalSelectCell(int row, int column) const {
  return MonthGrid(date_.year, date_.month).dayAt(row, column) != 0;
}

void TF_Kalender::gr_CalClick(int row, int column) {
  const int day = MonthGrid(date_.year, date_.month).dayAt(row, column);
  if (day && day != date_.day) SetDate(Date{date_.year, date_.month, day});
}

void TF_Kalender::bu_BrowseClick(int tag) {
  switch (tag) {
    case 0: Move(calendar::addYears(date_, -1)); break;
    case 1: Move(calendar::addMonths(date_, -1)); break;
    case 2: Move(calendar::addDays(date_, -1)); break;
    case 3: Move(calendar::addDays(date_, 1)); break;
    case 4: Move(calendar::addMonths(date_, 1)); break;
    case 5: Move(calendar::addYears(date_, 1)); break;
    default: break;
  }
}

void TF_Kalender::bu_IdagClick() {
  const Date today = Today();
  if (calendar::isValid(today)) SetDate(today);
}

void TF_Kalender::bu_OkClick() {
  result_ = date_;
  accept();
}

void TF_Kalender::gr_CalMouseMove(const QPoint& pos) {
  const int row = gr_Cal->rowAt(pos.y()), column = gr_Cal->columnAt(pos.x());
  const int day = row < 0 || column < 0 ? 0 : MonthGrid(date_.year, date_.month).dayAt(row, column);
  const std::string name = day ? calendar::holidayName(holidays_, date_.month, day) : std::string();
  if (name.empty()) {
    pa_Hint->hide();
    return;
  }
  la_Hint->setText(QString::fromStdString(name));
  pa_Hint->adjustSize();
  // Below and right of the pointer, kept inside the window.
  QPoint at = gr_Cal->viewport()->mapTo(this, pos) + QPoint(12, 18);
  at.setX(std::max(0, std::min(at.x(), width() - pa_Hint->width())));
  at.setY(std::max(0, std::min(at.y(), height() - pa_Hint->height())));
  pa_Hint->move(at);
  pa_Hint->show();
  pa_Hint->raise();
}

void TF_Kalender::FormMouseMove() { pa_Hint->hide(); }

void TF_Kalender::mouseMoveEvent(QMouseEvent* event) {
  FormMouseMove();
  QDialog::mouseMoveEvent(event);
}

bool TF_Kalender::gr_CalKeyDown(int key, Qt::KeyboardModifiers modifiers) {
  const bool ctrl = modifiers & Qt::ControlModifier;
  switch (key) {
    case Qt::Key_Left: Move(calendar::addDays(date_, -1)); return true;
    case Qt::Key_Right: Move(calendar::addDays(date_, 1)); return true;
    case Qt::Key_Up: Move(calendar::addDays(date_, -7)); return true;
    case Qt::Key_Down: Move(calendar::addDays(date_, 7)); return true;
    case Qt::Key_PageUp: Move(ctrl ? calendar::addYears(date_, -1) : calendar::addMonths(date_, -1)); return true;
    case Qt::Key_PageDown: Move(ctrl ? calendar::addYears(date_, 1) : calendar::addMonths(date_, 1)); return true;
    case Qt::Key_Home: Move(Date{date_.year, date_.month, 1}); return true;
    case Qt::Key_End: Move(Date{date_.year, date_.month, calendar::daysInMonth(date_.year, date_.month)}); return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: bu_OkClick(); return true;
    default: return false;
  }
}

bool TF_Kalender::eventFilter(QObject* watched, QEvent* event) {
  if (watched == gr_Cal && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (gr_CalKeyDown(key->key(), key->modifiers())) return true;
  } else if (watched == gr_Cal->viewport()) {
    if (event->type() == QEvent::MouseMove)
      gr_CalMouseMove(static_cast<QMouseEvent*>(event)->position().toPoint());
    else if (event->type() == QEvent::Leave)
      FormMouseMove();
  }
  return QDialog::eventFilter(watched, event);
}

std::optional<Date> PickDate(const Date& initial, QWidget* parent) {
  TF_Kalender window(initial, parent);
  widgets::runModal(window, "TF_Kalender");
  return window.result() == QDialog::Accepted ? window.Result() : std::nullopt;
}

// The calendar window: one month as a grid of days, Monday to Sunday, with week
// numbers beside it; Sundays and public holidays in red, a holiday's name shown
// while the mouse rests on it. The user moves by day, month and year with the
// buttons or the keyboard and chooses a date with OK (or a double click).
//
// Keyboard in the day grid: arrows move by a day or a week, Page Up/Down by a
// month, Ctrl+Page Up/Down by a year, Home/End to the first/last day of the month,
// Enter chooses, Escape closes without a choice.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <vector>

#include "calendar/calendar.h"

class QFrame;
class QLabel;
class QPushButton;
class QTableWidget;

class TF_Kalender : public QDialog {
  Q_OBJECT
 public:
  // Starts on initial, or on today when initial is no valid date.
  explicit TF_Kalender(const calendar::Date& initial, QWidget* parent = nullptr);

  // The date the window stands on.
  calendar::Date CurrentDate() const { return date_; }
  // The date chosen with OK; nothing before OK.
  std::optional<calendar::Date> Result() const { return result_; }

  // Where "Idag" takes its date from; the local date by default.
  std::function<calendar::Date()> Today;
  // On: Swedish week column title "Vecka"; off: "Week". Takes effect at the next
  // redraw.
  bool Swedish = true;

  // Moves as the navigation button with the tag does: 0 a year back, 1 a month
  // back, 2 a day back, 3 a day on, 4 a month on, 5 a year on. A move beyond the
  // calendar's years does nothing.
  void bu_BrowseClick(int tag);
  void bu_IdagClick();
  void bu_OkClick();
  // A click on a cell: a day cell becomes the current date; others are ignored.
  void gr_CalClick(int row, int column);
  // Only cells that show a day can be selected.
  bool gr_CalSelectCell(int row, int column) const;
  // The mouse at pos (in the day grid's viewport): shows the hint with the
  // holiday's name over a holiday, hides it elsewhere.
  void gr_CalMouseMove(const QPoint& pos);
  // The mouse left the day grid: the hint goes.
  void FormMouseMove();
  // Redraws the month of the current date.
  void ShowMonth();

  QPushButton* bu_FgAar;   // "< År "
  QPushButton* bu_FgMan;   // "< Mån"
  QPushButton* bu_FgDag;   // "< Dag"
  QPushButton* bu_NxtDag;  // "Dag >"
  QPushButton* bu_NxtMan;  // "Mån >"
  QPushButton* bu_NxtAar;  // "År >"
  QPushButton* bu_Idag;
  QPushButton* bu_Ok;
  QTableWidget* gr_Cal;   // title row and six week rows of seven days
  QTableWidget* gr_Week;  // "Vecka" and the week value of each row
  QFrame* pa_Hint;
  QLabel* la_Hint;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void SetDate(const calendar::Date& d);
  void Move(std::optional<calendar::Date> d);
  void gr_CalDrawCell(int row, int column);
  void gr_WeekDrawCell(int row);
  bool gr_CalKeyDown(int key, Qt::KeyboardModifiers modifiers);

  calendar::Date date_;
  std::optional<calendar::Date> result_;
  std::vector<calendar::Holiday> holidays_;
  int holidayYear_ = 0;
  bool selecting_ = false;
};

// Shows the calendar modally on initial (today when that is no valid date) and
// gives the date chosen with OK; nothing when the window was closed otherwise.
// Runs through platform::ui() (window class "TF_Kalender").
std::optional<calendar::Date> PickDate(const calendar::Date& initial, QWidget* parent = nullptr);

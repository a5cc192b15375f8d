// The calendar window shows a month with week numbers and red Sundays and
// holidays, moves by button, click and keyboard, and hands the chosen date to the
// date fields of the input window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <ctime>

#include "dialogs/inmdlg.h"
#include "dialogs/kalender.h"
#include "platform/datetime.h"
#include "support/scripted_ui.h"
#include "widgets/qt_ui.h"

using calendar::Date;

namespace {

QString cell(const TF_Kalender& k, int row, int column) { return k.gr_Cal->item(row, column)->text(); }
bool isRed(const TF_Kalender& k, int row, int column) {
  return k.gr_Cal->item(row, column)->foreground().color().red() > 150 &&
         k.gr_Cal->item(row, column)->foreground().color().green() < 50;
}
QStringList weekColumn(const TF_Kalender& k) {
  QStringList out;
  for (int r = 0; r < 7; ++r) out << k.gr_Week->item(r, 0)->text();
  return out;
}
// The last day shown in the grid.
int lastDay(const TF_Kalender& k) {
  int last = 0;
  for (int r = 1; r < 7; ++r)
    for (int c = 0; c < 7; ++c) last = std::max(last, cell(k, r, c).toInt());
  return last;
}
QPoint centreOf(const TF_Kalender& k, int row, int column) {
  return k.gr_Cal->visualItemRect(k.gr_Cal->item(row, column)).center();
}
void moveMouse(TF_Kalender& k, QPoint pos) {
  QMouseEvent move(QEvent::MouseMove, QPointF(pos), k.gr_Cal->viewport()->mapToGlobal(QPointF(pos)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(k.gr_Cal->viewport(), &move);
}

TF_Kalender& kalenderOf(platform::ModalWindow& w) {
  EXPECT_EQ(w.windowClass(), "TF_Kalender");
  return static_cast<TF_Kalender&>(static_cast<widgets::DialogWindow&>(w).dialog());
}

Date localToday() {
  const auto now = platform::fromUnixTime(std::time(nullptr));
  return Date{now.year, now.month, now.day};
}

struct DateFormatGuard {
  std::string date = platform::displayDateFormat(), time = platform::displayTimeFormat();
  ~DateFormatGuard() { platform::setDisplayFormats(date, time); }
};

}  // namespace

TEST(Kalender, ShowsAMonthWithWeeksAndRedDays) {
  TF_Kalender k(Date{2000, 6, 24});
  EXPECT_EQ(k.windowTitle(), QStringLiteral("JUNI 2000"));
  const QStringList titles{"Mån", "Tis", "Ons", "Tor", "Fre", "Lör", "Sön"};
  for (int c = 0; c < 7; ++c) EXPECT_EQ(cell(k, 0, c), titles[c]) << c;
  EXPECT_EQ(k.bu_FgAar->text(), QString::fromUtf8("< År "));
  EXPECT_EQ(k.bu_NxtAar->text(), QString::fromUtf8("År >"));
  EXPECT_EQ(k.bu_FgMan->text(), QString::fromUtf8("< Mån"));
  EXPECT_EQ(k.bu_NxtDag->text(), QStringLiteral("Dag >"));
  EXPECT_EQ(k.bu_Idag->text(), QStringLiteral("Idag"));
  EXPECT_EQ(k.gr_Week->focusPolicy(), Qt::NoFocus);

  // 1 June 2000 is a Thursday; the 24th (Midsommardagen) is selected.
  EXPECT_EQ(cell(k, 1, 2), QString());
  EXPECT_EQ(cell(k, 1, 3), QStringLiteral("1"));
  EXPECT_EQ(cell(k, 5, 4), QStringLiteral("30"));
  EXPECT_EQ(k.gr_Cal->currentRow(), 4);
  EXPECT_EQ(k.gr_Cal->currentColumn(), 5);
  EXPECT_EQ(weekColumn(k), (QStringList{"Vecka", "0022", "0023", "0024", "0025", "0026", ""}));

  EXPECT_TRUE(isRed(k, 1, 6)) << "Sunday the 4th";
  EXPECT_TRUE(isRed(k, 1, 3)) << "Kristi himmelsfärdsdag";
  EXPECT_TRUE(isRed(k, 3, 0)) << "Annandag Pingst";
  EXPECT_TRUE(isRed(k, 4, 5)) << "Midsommardagen";
  EXPECT_FALSE(isRed(k, 1, 4)) << "an ordinary Friday";
  EXPECT_FALSE(isRed(k, 4, 4)) << "Midsommarafton is no holiday";

  // The language flag decides the week column's title.
  k.Swedish = false;
  k.ShowMonth();
  EXPECT_EQ(k.gr_Week->item(0, 0)->text(), QStringLiteral("Week"));
}

TEST(Kalender, AMonthBeginningOnSundayAndEmptyCells) {
  TF_Kalender k(Date{2003, 6, 10});
  EXPECT_EQ(cell(k, 1, 6), QStringLiteral("1"));
  for (int c = 0; c < 6; ++c) {
    EXPECT_EQ(cell(k, 1, c), QString()) << c;
    EXPECT_FALSE(k.gr_CalSelectCell(1, c)) << c;
  }
  EXPECT_EQ(cell(k, 6, 0), QStringLiteral("30"));
  EXPECT_EQ(weekColumn(k), (QStringList{"Vecka", "0322", "0323", "0324", "0325", "0326", "0327"}));

  // Clicks on empty cells and on the title row leave the date alone.
  QTest::mouseClick(k.gr_Cal->viewport(), Qt::LeftButton, {}, centreOf(k, 1, 2));
  QTest::mouseClick(k.gr_Cal->viewport(), Qt::LeftButton, {}, centreOf(k, 0, 2));
  k.gr_Cal->setCurrentCell(6, 3);
  EXPECT_EQ(k.CurrentDate(), (Date{2003, 6, 10}));
  EXPECT_EQ(k.gr_Cal->currentRow(), 3);
  EXPECT_EQ(k.gr_Cal->currentColumn(), 1);
  // A click on a day makes it the date; a double click chooses it.
  QTest::mouseClick(k.gr_Cal->viewport(), Qt::LeftButton, {}, centreOf(k, 1, 6));
  EXPECT_EQ(k.CurrentDate(), (Date{2003, 6, 1}));
  EXPECT_FALSE(k.Result());
  QTest::mouseClick(k.gr_Cal->viewport(), Qt::LeftButton, {}, centreOf(k, 3, 2));  // a double click's first press
  QTest::mouseDClick(k.gr_Cal->viewport(), Qt::LeftButton, {}, centreOf(k, 3, 2));
  EXPECT_EQ(k.result(), QDialog::Accepted);
  EXPECT_EQ(k.Result(), (Date{2003, 6, 11}));
}

TEST(Kalender, ButtonsMoveByDayMonthAndYear) {
  TF_Kalender k(Date{2000, 2, 29});
  EXPECT_EQ(lastDay(k), 29);
  k.bu_FgAar->click();
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 2, 28}));
  EXPECT_EQ(k.windowTitle(), QStringLiteral("FEBRUARI 1999"));
  EXPECT_EQ(lastDay(k), 28);
  k.bu_NxtMan->click();
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 3, 28}));
  k.bu_NxtDag->click();
  k.bu_NxtDag->click();
  k.bu_NxtDag->click();
  k.bu_NxtDag->click();
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 4, 1}));
  k.bu_FgDag->click();
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 3, 31}));
  k.bu_FgMan->click();
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 2, 28}));
  k.bu_NxtAar->click();
  EXPECT_EQ(k.CurrentDate(), (Date{2000, 2, 28}));
  EXPECT_EQ(k.gr_Cal->item(k.gr_Cal->currentRow(), k.gr_Cal->currentColumn())->text(), QStringLiteral("28"));

  // February of 1900 and 2100 has 28 days, of 2000 29.
  TF_Kalender y1900(Date{1900, 2, 1}), y2100(Date{2100, 2, 1});
  EXPECT_EQ(lastDay(y1900), 28);
  EXPECT_EQ(lastDay(y2100), 28);

  // The ends of the calendar stop the moves.
  TF_Kalender end(Date{9999, 12, 31});
  end.bu_NxtDag->click();
  end.bu_NxtMan->click();
  end.bu_NxtAar->click();
  EXPECT_EQ(end.CurrentDate(), (Date{9999, 12, 31}));

  k.Today = [] { return Date{2024, 3, 15}; };
  k.bu_Idag->click();
  EXPECT_EQ(k.CurrentDate(), (Date{2024, 3, 15}));
  EXPECT_EQ(k.windowTitle(), QStringLiteral("MARS 2024"));
}

TEST(Kalender, Keyboard) {
  TF_Kalender k(Date{2000, 1, 30});
  QTest::keyClick(k.gr_Cal, Qt::Key_Right);
  EXPECT_EQ(k.CurrentDate(), (Date{2000, 1, 31}));
  QTest::keyClick(k.gr_Cal, Qt::Key_Down);
  EXPECT_EQ(k.CurrentDate(), (Date{2000, 2, 7}));
  EXPECT_EQ(k.windowTitle(), QStringLiteral("FEBRUARI 2000"));
  QTest::keyClick(k.gr_Cal, Qt::Key_Up);
  QTest::keyClick(k.gr_Cal, Qt::Key_Left);
  EXPECT_EQ(k.CurrentDate(), (Date{2000, 1, 30}));
  QTest::keyClick(k.gr_Cal, Qt::Key_PageDown);
  EXPECT_EQ(k.CurrentDate(), (Date{2000, 2, 29}));
  QTest::keyClick(k.gr_Cal, Qt::Key_PageUp, Qt::ControlModifier);
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 2, 28}));
  QTest::keyClick(k.gr_Cal, Qt::Key_Home);
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 2, 1}));
  QTest::keyClick(k.gr_Cal, Qt::Key_End);
  EXPECT_EQ(k.CurrentDate(), (Date{1999, 2, 28}));
  EXPECT_FALSE(k.Result());
  QTest::keyClick(k.gr_Cal, Qt::Key_Return);
  EXPECT_EQ(k.result(), QDialog::Accepted);
  EXPECT_EQ(k.Result(), (Date{1999, 2, 28}));
}

TEST(Kalender, NamesTheHolidayUnderTheMouse) {
  TF_Kalender k(Date{2000, 4, 1});
  moveMouse(k, centreOf(k, 4, 6));  // 23 April, Påskdagen
  EXPECT_FALSE(k.pa_Hint->isHidden());
  EXPECT_EQ(k.la_Hint->text(), QString::fromUtf8("Påskdagen"));
  EXPECT_TRUE(k.rect().contains(k.pa_Hint->geometry()));
  moveMouse(k, centreOf(k, 4, 4));  // 21 April, Långfredag
  EXPECT_EQ(k.la_Hint->text(), QString::fromUtf8("Långfredag"));
  moveMouse(k, centreOf(k, 4, 3));  // an ordinary Thursday
  EXPECT_TRUE(k.pa_Hint->isHidden());
  moveMouse(k, centreOf(k, 5, 0));  // Annandag påsk
  EXPECT_FALSE(k.pa_Hint->isHidden());
  QTest::keyClick(k.gr_Cal, Qt::Key_PageDown);  // another month under the mouse
  EXPECT_TRUE(k.pa_Hint->isHidden());
  moveMouse(k, centreOf(k, 5, 0));
  EXPECT_TRUE(k.pa_Hint->isHidden());  // 29 May
  k.bu_FgMan->click();
  moveMouse(k, centreOf(k, 5, 0));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(k.gr_Cal->viewport(), &leave);
  EXPECT_TRUE(k.pa_Hint->isHidden());
}

TEST(Kalender, PickDateGivesTheChoiceOrNothing) {
  testsupport::ScriptedUi ui;
  ui.onModal([](platform::ModalWindow& w) {
    auto& k = kalenderOf(w);
    k.bu_NxtMan->click();
    k.bu_Ok->click();
    return k.result();
  });
  EXPECT_EQ(PickDate(Date{2000, 1, 31}), (Date{2000, 2, 29}));
  ui.onModal([](platform::ModalWindow& w) {
    auto& k = kalenderOf(w);
    k.bu_NxtMan->click();
    k.reject();  // Escape or the frame's close button
    return k.result();
  });
  EXPECT_EQ(PickDate(Date{2000, 1, 31}), std::nullopt);
  // An impossible start shows today.
  Date shown{};
  ui.onModal([&](platform::ModalWindow& w) {
    shown = kalenderOf(w).CurrentDate();
    return 0;
  });
  EXPECT_EQ(PickDate(Date{2001, 2, 29}), std::nullopt);
  EXPECT_EQ(shown, localToday());
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST(Kalender, DateFieldsOpenItOnDoubleClickAndF12) {
  DateFormatGuard guard;
  platform::setDisplayFormats("yyyy/mm/dd", "hh:mm");
  testsupport::ScriptedUi ui;
  dialogs::InmDlgText =
      dialogs::FieldDescription("Day", 'D', 10, "2000/06/24") + dialogs::FieldDescription("Name", 'S', 10, "x");
  TF_InmDlg d;
  TInmEdit* day = d.findChild<TInmEdit*>(QStringLiteral("ed_Field1"));
  TInmEdit* name = d.findChild<TInmEdit*>(QStringLiteral("ed_Field2"));
  Date shown{};
  auto chooseNextDay = [&](platform::ModalWindow& w) {
    auto& k = kalenderOf(w);
    shown = k.CurrentDate();
    k.bu_NxtDag->click();
    k.bu_Ok->click();
    return k.result();
  };

  ui.onModal(chooseNextDay);
  QTest::mouseDClick(day, Qt::LeftButton);
  EXPECT_EQ(shown, (Date{2000, 6, 24}));
  EXPECT_EQ(day->text(), QStringLiteral("2000/06/25"));

  ui.onModal(chooseNextDay);
  QTest::keyClick(day, Qt::Key_F12);
  EXPECT_EQ(shown, (Date{2000, 6, 25}));
  EXPECT_EQ(day->text(), QStringLiteral("2000/06/26"));

  // Closed without a choice: the field keeps its date. Other fields open nothing.
  ui.onModal([](platform::ModalWindow& w) { return kalenderOf(w).result(); });
  QTest::keyClick(day, Qt::Key_F12);
  EXPECT_EQ(day->text(), QStringLiteral("2000/06/26"));
  QTest::keyClick(name, Qt::Key_F12);
  QTest::mouseDClick(name, Qt::LeftButton);
  EXPECT_EQ(ui.modalWindows.size(), 3u);

  // An incomplete date opens on today.
  day->clear();
  ui.onModal(chooseNextDay);
  QTest::keyClick(day, Qt::Key_F12);
  EXPECT_EQ(shown, localToday());
  EXPECT_TRUE(d.DateOf(day));

  d.bu_OkClick();
  EXPECT_EQ(dialogs::InmDlgText.substr(0, 10), day->text().toStdString());
  EXPECT_TRUE(ui.unexpected.empty());
}

TEST(Kalender, ChosenDateIsWrittenInTheSettingsDateFormat) {
  DateFormatGuard guard;
  platform::setDisplayFormats("dd/mm/yy", "hh:mm");
  testsupport::ScriptedUi ui;
  dialogs::InmDlgText = dialogs::FieldDescription("Day", 'D', 10, "24/06/00");
  TF_InmDlg d;
  TInmEdit* day = d.findChild<TInmEdit*>(QStringLiteral("ed_Field1"));
  Date shown{};
  ui.onModal([&](platform::ModalWindow& w) {
    auto& k = kalenderOf(w);
    shown = k.CurrentDate();
    k.bu_FgAar->click();
    k.bu_Ok->click();
    return k.result();
  });
  QTest::keyClick(day, Qt::Key_F12);
  EXPECT_EQ(shown, (Date{2000, 6, 24}));
  EXPECT_EQ(day->text(), QStringLiteral("24/06/99"));
}

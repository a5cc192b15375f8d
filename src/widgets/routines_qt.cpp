#include "widgets/routines_qt.h"

#include <QApplication>
#include <QKeyEvent>
#include <QVariant>
#include <QWidget>

namespace widgets {

BusyCursor::BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }

BusyCursor::~BusyCursor() { QApplication::restoreOverrideCursor(); }

void EnterAsTab(QWidget* form, int& key) {
  if (key != 13 || !form) return;
  QWidget* focus = QApplication::focusWidget();
  bool inGrid = false;
  for (QWidget* w = focus; w; w = w->parentWidget()) {
    if (w->inherits("TSortGrid")) {
      inGrid = true;
      if (w->property("goTabs").toBool()) key = 9;
      break;
    }
  }
  if (inGrid) return;
  key = 0;
  // Posted, as the next-field move of a dialog is: the current key handling ends
  // first, then a Tab moves the focus along the window's tab order.
  QWidget* target = focus ? focus : form;
  QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier));
  QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Tab, Qt::NoModifier));
}

}  // namespace widgets

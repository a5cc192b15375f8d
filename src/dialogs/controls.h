// Small builders of the controls many windows share: a control named as the
// window's code knows it, the flat push button with its hint, and the banner
// across the top of a window.
#pragma once

#include <QString>

class QLabel;
class QPushButton;
class QWidget;

namespace dialogs {

// Gives w its object name (the name tests and the code find it by) and returns it.
template <typename W>
W* Named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

// A flat button with its caption and hint (tool tip; none when hint is empty).
QPushButton* FlatButton(const char* name, const char* caption, const char* hint);

// The banner "pa_Banner": white bold text on a dark band.
QLabel* Banner(const char* text);

}  // namespace dialogs

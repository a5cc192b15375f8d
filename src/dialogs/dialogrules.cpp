#include "dialogs/dialogrules.h"

#include <QAbstractButton>
#include <QDialog>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>

namespace dialogs {

namespace {

// Catches the Escape press that reaches the dialog (children that do not use the
// key pass it on) before QDialog turns it into reject().
class EscapeFilter : public QObject {
 public:
  EscapeFilter(QDialog& dialog, QAbstractButton& cancel) : QObject(&dialog), cancel_(&cancel) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (e->type() == QEvent::KeyPress) {
      auto* k = static_cast<QKeyEvent*>(e);
      if (k->key() == Qt::Key_Escape && (k->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && cancel_ &&
          cancel_->isEnabled()) {
        cancel_->click();
        return true;
      }
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  QPointer<QAbstractButton> cancel_;
};

}  // namespace

void CentreOnScreen(QWidget& window) {
  QScreen* screen = window.screen();
  if (!screen) return;
  // move() places the frame, whose size includes the window manager's border.
  const QSize frame = window.frameGeometry().size();
  window.move(screen->availableGeometry().center() - QRect(QPoint(), frame).center());
}

void EscapeClicks(QDialog& dialog, QAbstractButton& cancel) {
  dialog.installEventFilter(new EscapeFilter(dialog, cancel));
}

}  // namespace dialogs

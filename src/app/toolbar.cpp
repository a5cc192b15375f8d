#include "app/toolbar.h"

#include <QMouseEvent>

TToolPicture::TToolPicture(app::ToolCommand command, const QString& normalName, const QString& secondName,
                           QWidget* parent)
    : QWidget(parent), normal_(new QLabel(this)), second_(new QLabel(this)) {
  setObjectName(normalName.left(normalName.size() - 2) + QStringLiteral("Pair"));
  const int w = app::toolPictureWidth(command);
  setFixedSize(w, app::kToolPictureHeight);
  for (QLabel* l : {normal_, second_}) {
    l->setGeometry(0, 0, w, app::kToolPictureHeight);
    // The pair handles the mouse; the pictures only show.
    l->setAttribute(Qt::WA_TransparentForMouseEvents);
  }
  normal_->setObjectName(normalName);
  second_->setObjectName(secondName);
  normal_->setPixmap(app::toolPicture(command, false));
  second_->setPixmap(app::toolPicture(command, true));
  second_->hide();
  setMouseTracking(true);
}

void TToolPicture::ShowNormal(bool normal) {
  normal_->setVisible(normal);
  second_->setVisible(!normal);
}

void TToolPicture::SetHint(const QString& hint, bool show) {
  normal_->setToolTip(hint);
  setToolTip(show ? hint : QString());
}

void TToolPicture::mousePressEvent(QMouseEvent* e) {
  pressedOnNormal_ = pressedOnSecond_ = false;
  if (e->button() != Qt::LeftButton) return;
  if (normal_->isVisible()) {
    pressedOnNormal_ = true;
    ShowNormal(false);
  } else {
    pressedOnSecond_ = true;
  }
}

void TToolPicture::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  bool inside = rect().contains(e->position().toPoint());
  if (pressedOnNormal_) {
    ShowNormal(true);
    pressedOnNormal_ = false;
    if (inside && OnClick) OnClick();
  } else if (pressedOnSecond_) {
    pressedOnSecond_ = false;
    if (inside && SecondClickable && SecondClickable()) {
      ShowNormal(true);
      if (OnClick) OnClick();
    }
  }
}

void TToolPicture::mouseMoveEvent(QMouseEvent* e) {
  if (!(e->buttons() & Qt::LeftButton) && OnHover) OnHover(this);
}

// One command of the main window's toolbar: a normal picture ("...En") and a second
// picture ("...Dis"/"...Di") at the same place, exactly one of them visible.
//
// Left button down on the normal picture shows the second one until the button is
// released; a click on the normal picture runs the command. With the explorer-like
// look the owner lights the second picture up while the mouse is over the command,
// and a click on the second picture then restores the normal one and runs the
// command; without that look a click on the second picture does nothing.
#pragma once

#include <QLabel>
#include <QWidget>
#include <functional>

#include "app/toolbar_art.h"

class TToolPicture : public QWidget {
  Q_OBJECT
 public:
  TToolPicture(app::ToolCommand command, const QString& normalName, const QString& secondName,
               QWidget* parent = nullptr);

  QLabel* Normal() const { return normal_; }
  QLabel* Second() const { return second_; }
  bool NormalShown() const { return normal_->isVisible() || !second_->isVisible(); }
  // Shows the normal picture (true) or the second picture (false).
  void ShowNormal(bool normal);
  // The command's hint on the normal picture; shown only while hints are on.
  void SetHint(const QString& hint, bool show);

  // Runs the command.
  std::function<void()> OnClick;
  // The mouse moved over the command (the owner applies the explorer-like look).
  std::function<void(TToolPicture*)> OnHover;
  // Whether a click on the second picture runs the command (explorer-like look).
  std::function<bool()> SecondClickable;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;

 private:
  QLabel* normal_;
  QLabel* second_;
  bool pressedOnNormal_ = false;
  bool pressedOnSecond_ = false;
};

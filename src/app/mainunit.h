// The main window: the archive listing with its menus, toolbar and status panels.
#pragma once

#include <QMainWindow>
#include <QString>

class TMainform : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainform(QWidget* parent = nullptr);

  // Caption prefix, with its trailing blank.
  const QString TitleBase = QStringLiteral("Kelvory '99 ");
};

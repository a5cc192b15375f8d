#include "app/mainunit.h"

TMainform::TMainform(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("Mainform"));
  setWindowTitle(TitleBase + QStringLiteral("- ") + QStringLiteral("<none>"));
  resize(440, 377);
}

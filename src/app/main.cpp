// Process start: checks for a display, sets up the application and shows the main
// window.
#include <QApplication>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "app/mainunit.h"
#include "widgets/qt_ui.h"

namespace {

bool haveDisplay() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
  };
  return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

}  // namespace

int main(int argc, char** argv) {
  if (!haveDisplay()) {
    std::fprintf(stderr, "kelvory: no display found (DISPLAY is not set); start it from a desktop session or under Xvfb\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brenholt Kelvory '99"));
  widgets::installQtUi();
  TMainform Mainform;
  Mainform.show();
  return app.exec();
}

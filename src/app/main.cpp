// Process start: checks for a display, sets up the application, creates the main
// window (which creates the settings window) and runs until the main window closes.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "app/mainunit.h"
#include "dialogs/settings_model.h"
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
    std::fprintf(stderr,
                 "kelvory: no display found (DISPLAY is not set); start it from a desktop session or under Xvfb\n");
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Brenholt Kelvory '99"));
  widgets::installQtUi();
  dialogs::TSettings settings;
  QStringList args = QApplication::arguments();
  args.removeFirst();
  TMainform Mainform(settings, args);
  Mainform.show();
  return app.exec();
}

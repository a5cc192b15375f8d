// Shows the input window for trying it by hand:
//   kv_try_dialogs [description-kinds]   e.g. "SNALD" (one field per letter)
// and prints the answers, one per line, or "cancelled".
#include <QApplication>
#include <cstdio>
#include <string>

#include "dialogs/inmdlg.h"
#include "platform/routines.h"
#include "widgets/qt_ui.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  widgets::installQtUi();
  const std::string kinds = argc > 1 ? argv[1] : "SNALD";
  std::string text;
  int n = 0;
  for (char kind : kinds) {
    ++n;
    const std::string label = std::string("Field ") + std::to_string(n) + " (" + kind + "):";
    text += dialogs::FieldDescription(label, kind, kind == 'D' ? 10 : 12);
  }
  if (!dialogs::AskText("Input window", text)) {
    std::puts("cancelled");
    return 1;
  }
  for (int i = 1; i <= n; ++i) std::printf("%d: [%s]\n", i, platform::GetField(text, i, "\x02").c_str());
  return 0;
}

// Shows the input window or the calendar for trying them by hand:
//   kv_try_dialogs [KINDS]          the input window, one field per kind letter
//                                   (default "SNALD"); prints the answers
//   kv_try_dialogs kalender [Y M D] the calendar; prints the chosen date
#include <QApplication>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dialogs/inmdlg.h"
#include "dialogs/kalender.h"
#include "platform/routines.h"
#include "widgets/qt_ui.h"

namespace {

int tryKalender(int argc, char** argv) {
  calendar::Date start{};
  if (argc >= 5) start = {std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])};
  const auto chosen = PickDate(start);
  if (!chosen) {
    std::puts("cancelled");
    return 1;
  }
  std::printf("%04d-%02d-%02d\n", chosen->year, chosen->month, chosen->day);
  return 0;
}

int tryInmDlg(const std::string& kinds) {
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

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  widgets::installQtUi();
  const std::string mode = argc > 1 ? argv[1] : "SNALD";
  return mode == "kalender" ? tryKalender(argc, argv) : tryInmDlg(mode);
}

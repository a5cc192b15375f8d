// kv-imgview: shows picture files in the image window, one after the other, as the
// View command does. For trying pictures and the window by hand.
//
//   kv-imgview FILE...
#include <QApplication>
#include <cstdio>

#include "viewers/showimg.h"
#include "widgets/qt_ui.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fputs("Usage: kv-imgview FILE...\nShows each picture in the image window; a click or a key closes it.\n",
               stderr);
    return 2;
  }
  widgets::installQtUi();
  int status = 0;
  for (int i = 1; i < argc; ++i)
    if (!viewers::ShowImageFile(argv[i], argv[i])) status = 1;
  return status;
}

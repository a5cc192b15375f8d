// Runs the multiple-file extraction window without a screen: every archive named
// on the command line goes into OUTROOT/<its name without extension>, in one run,
// as if the user had added them and pressed Start. Boxes are answered with OK and
// printed to standard error; the exit status is 0 only when the window counted
// every archive as extracted.
//
// Usage: mfe_driver OUTROOT ARCHIVE...
#include <QApplication>
#include <QLineEdit>
#include <cstdio>
#include <string>
#include <vector>

#include "dialogs/mfe.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

namespace {

// Answers every box with OK and remembers the last text.
class OkUi : public platform::Ui {
 public:
  std::string last;
  platform::MsgButton message(platform::MsgKind, const std::string&, const std::string& text,
                              platform::MsgButtons) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    last = text;
    return platform::kBtnOk;
  }
  std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> openFile(const platform::FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::vector<std::string>> openFiles(const platform::FileDialogOptions&) override {
    return std::nullopt;
  }
  std::optional<std::string> saveFile(const platform::FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> pickFolder(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::uint32_t> pickColor(std::uint32_t) override { return std::nullopt; }
  bool printDialog(const std::string&) override { return false; }
  int runModal(platform::ModalWindow&) override { return 0; }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: mfe_driver OUTROOT ARCHIVE...\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  OkUi ui;
  platform::setUi(&ui);
  TF_MFE window;
  const std::string root = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string archive = argv[i];
    std::string name = platform::fileNameOf(archive);
    name = name.substr(0, name.size() - platform::extensionOf(name).size());
    window.ed_Defdir->setText(widgets::qs(root + "/" + name));
    window.AddArchiveRow(archive);
  }
  window.BitBtn1Click();
  platform::setUi(nullptr);
  return ui.last == std::to_string(argc - 2) + " files extracted successfully" ? 0 : 1;
}

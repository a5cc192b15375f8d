#include "platform/ui.h"

#include <cstdio>

namespace platform {

namespace {

class HeadlessUi : public Ui {
 public:
  MsgButton message(MsgKind kind, const std::string& caption, const std::string& text, MsgButtons buttons) override {
    std::fprintf(stderr, "[%s] %s%s%s\n", msgKindName(kind), caption.c_str(), caption.empty() ? "" : ": ",
                 text.c_str());
    if (buttons & kBtnCancel) return kBtnCancel;
    if (buttons & kBtnNo) return kBtnNo;
    if (buttons & kBtnAbort) return kBtnAbort;
    return kBtnOk;
  }
  std::optional<std::string> input(const std::string&, const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> openFile(const FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::vector<std::string>> openFiles(const FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> saveFile(const FileDialogOptions&) override { return std::nullopt; }
  std::optional<std::string> pickFolder(const std::string&, const std::string&) override { return std::nullopt; }
  std::optional<std::uint32_t> pickColor(std::uint32_t) override { return std::nullopt; }
  bool printDialog(const std::string&) override { return false; }
  int runModal(ModalWindow& w) override { return w.execModal(); }
};

HeadlessUi& headless() {
  static HeadlessUi h;
  return h;
}

Ui* g_ui = nullptr;

}  // namespace

const char* msgKindName(MsgKind k) {
  switch (k) {
    case MsgKind::Plain: return "plain";
    case MsgKind::Warning: return "warning";
    case MsgKind::Error: return "error";
    case MsgKind::Information: return "information";
    case MsgKind::Confirmation: return "confirmation";
  }
  return "plain";
}

Ui& ui() { return g_ui ? *g_ui : headless(); }

void setUi(Ui* u) { g_ui = u; }

}  // namespace platform

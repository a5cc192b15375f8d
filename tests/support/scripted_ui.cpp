#include "support/scripted_ui.h"

namespace testsupport {

using namespace platform;

ScriptedUi::ScriptedUi() { setUi(this); }
ScriptedUi::~ScriptedUi() { setUi(nullptr); }

ScriptedUi& ScriptedUi::answerMessage(MsgButton b) {
  queue_.push_back(MessageAnswer{b});
  return *this;
}
ScriptedUi& ScriptedUi::answerInput(std::optional<std::string> t) {
  queue_.push_back(InputAnswer{std::move(t)});
  return *this;
}
ScriptedUi& ScriptedUi::answerOpenFile(std::optional<std::string> p) {
  queue_.push_back(OpenAnswer{std::move(p)});
  return *this;
}
ScriptedUi& ScriptedUi::answerOpenFiles(std::optional<std::vector<std::string>> p) {
  queue_.push_back(OpenManyAnswer{std::move(p)});
  return *this;
}
ScriptedUi& ScriptedUi::answerSaveFile(std::optional<std::string> p) {
  queue_.push_back(SaveAnswer{std::move(p)});
  return *this;
}
ScriptedUi& ScriptedUi::answerFolder(std::optional<std::string> p) {
  queue_.push_back(FolderAnswer{std::move(p)});
  return *this;
}
ScriptedUi& ScriptedUi::answerColor(std::optional<std::uint32_t> c) {
  queue_.push_back(ColorAnswer{c});
  return *this;
}
ScriptedUi& ScriptedUi::answerPrint(bool ok) {
  queue_.push_back(PrintAnswer{ok});
  return *this;
}
ScriptedUi& ScriptedUi::onModal(std::function<int(ModalWindow&)> h) {
  queue_.push_back(ModalAnswer{std::move(h)});
  return *this;
}

template <typename T>
std::optional<T> ScriptedUi::take(const std::string& what) {
  if (!queue_.empty() && std::holds_alternative<T>(queue_.front())) {
    T t = std::get<T>(std::move(queue_.front()));
    queue_.pop_front();
    return t;
  }
  unexpected.push_back(what);
  return std::nullopt;
}

std::vector<std::string> ScriptedUi::boxTexts() const {
  std::vector<std::string> out;
  for (const auto& b : boxes) out.push_back(b.text);
  return out;
}

MsgButton ScriptedUi::message(MsgKind kind, const std::string& caption, const std::string& text, MsgButtons buttons) {
  MsgButton answer;
  if (acceptOkBoxes_ && buttons == kOk && (queue_.empty() || !std::holds_alternative<MessageAnswer>(queue_.front()))) {
    answer = kBtnOk;
  } else if (auto a = take<MessageAnswer>("message: " + text)) {
    answer = a->button;
  } else {
    answer = (buttons & kBtnCancel)  ? kBtnCancel
             : (buttons & kBtnNo)    ? kBtnNo
             : (buttons & kBtnAbort) ? kBtnAbort
                                     : kBtnOk;
  }
  boxes.push_back(BoxRecord{kind, caption, text, buttons, answer});
  return answer;
}

std::optional<std::string> ScriptedUi::input(const std::string& caption, const std::string& prompt,
                                             const std::string&) {
  inputs.push_back(caption + "|" + prompt);
  auto a = take<InputAnswer>("input: " + caption + "|" + prompt);
  return a ? a->text : std::nullopt;
}

std::optional<std::string> ScriptedUi::openFile(const FileDialogOptions& dlg) {
  fileDialogs.push_back(dlg);
  auto a = take<OpenAnswer>("open dialog: " + dlg.title);
  return a ? a->path : std::nullopt;
}

std::optional<std::vector<std::string>> ScriptedUi::openFiles(const FileDialogOptions& dlg) {
  fileDialogs.push_back(dlg);
  auto a = take<OpenManyAnswer>("open dialog (many): " + dlg.title);
  return a ? a->paths : std::nullopt;
}

std::optional<std::string> ScriptedUi::saveFile(const FileDialogOptions& dlg) {
  fileDialogs.push_back(dlg);
  auto a = take<SaveAnswer>("save dialog: " + dlg.title);
  return a ? a->path : std::nullopt;
}

std::optional<std::string> ScriptedUi::pickFolder(const std::string& title, const std::string&) {
  folderPickers.push_back(title);
  auto a = take<FolderAnswer>("folder picker: " + title);
  return a ? a->path : std::nullopt;
}

std::optional<std::uint32_t> ScriptedUi::pickColor(std::uint32_t) {
  auto a = take<ColorAnswer>("colour dialog");
  return a ? a->color : std::nullopt;
}

bool ScriptedUi::printDialog(const std::string& caption) {
  auto a = take<PrintAnswer>("print dialog: " + caption);
  return a && a->ok;
}

int ScriptedUi::runModal(ModalWindow& window) {
  modalWindows.push_back(window.windowClass());
  auto a = take<ModalAnswer>("modal window: " + window.windowClass());
  return a ? a->handler(window) : 0;
}

}  // namespace testsupport

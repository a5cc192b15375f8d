// A Ui for tests: answers come from a queue in the order the test expects the
// questions, and every box is recorded with its exact kind, caption, text and
// buttons. A question nobody queued an answer for is recorded in `unexpected` and
// answered with Cancel (a modal window is then not shown at all), so a test that
// checks `unexpected` at its end catches every surprise box.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "platform/ui.h"

namespace testsupport {

struct BoxRecord {
  platform::MsgKind kind;
  std::string caption;
  std::string text;
  platform::MsgButtons buttons;
  platform::MsgButton answer;
};

class ScriptedUi : public platform::Ui {
 public:
  ScriptedUi();            // installs itself
  ~ScriptedUi() override;  // and uninstalls itself

  // Queue answers, in the order the questions will come.
  ScriptedUi& answerMessage(platform::MsgButton button);
  ScriptedUi& answerInput(std::optional<std::string> text);
  ScriptedUi& answerOpenFile(std::optional<std::string> path);
  ScriptedUi& answerOpenFiles(std::optional<std::vector<std::string>> paths);
  ScriptedUi& answerSaveFile(std::optional<std::string> path);
  ScriptedUi& answerFolder(std::optional<std::string> path);
  ScriptedUi& answerColor(std::optional<std::uint32_t> color);
  ScriptedUi& answerPrint(bool ok);
  // The next modal window is handed to handler instead of being shown; the
  // handler's return value is the window's result.
  ScriptedUi& onModal(std::function<int(platform::ModalWindow&)> handler);
  // Lets every further OK-only box pass as answered with OK (still recorded).
  void acceptInformationBoxes(bool on) { acceptOkBoxes_ = on; }

  std::size_t pending() const { return queue_.size(); }

  std::vector<BoxRecord> boxes;                          // every message box
  std::vector<std::string> inputs;                       // caption + "|" + prompt of each input box
  std::vector<platform::FileDialogOptions> fileDialogs;  // every open/save dialog
  std::vector<std::string> folderPickers;                // titles
  std::vector<std::string> modalWindows;                 // class names of windows run
  std::vector<std::string> unexpected;                   // questions without a queued answer

  // Texts of the boxes, in order (handy for EXPECT_EQ on a whole run).
  std::vector<std::string> boxTexts() const;

  platform::MsgButton message(platform::MsgKind kind, const std::string& caption, const std::string& text,
                              platform::MsgButtons buttons) override;
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial) override;
  std::optional<std::string> openFile(const platform::FileDialogOptions& dlg) override;
  std::optional<std::vector<std::string>> openFiles(const platform::FileDialogOptions& dlg) override;
  std::optional<std::string> saveFile(const platform::FileDialogOptions& dlg) override;
  std::optional<std::string> pickFolder(const std::string& title, const std::string& start) override;
  std::optional<std::uint32_t> pickColor(std::uint32_t initial) override;
  bool printDialog(const std::string& caption) override;
  int runModal(platform::ModalWindow& window) override;

 private:
  struct MessageAnswer {
    platform::MsgButton button;
  };
  struct InputAnswer {
    std::optional<std::string> text;
  };
  struct OpenAnswer {
    std::optional<std::string> path;
  };
  struct OpenManyAnswer {
    std::optional<std::vector<std::string>> paths;
  };
  struct SaveAnswer {
    std::optional<std::string> path;
  };
  struct FolderAnswer {
    std::optional<std::string> path;
  };
  struct ColorAnswer {
    std::optional<std::uint32_t> color;
  };
  struct PrintAnswer {
    bool ok;
  };
  struct ModalAnswer {
    std::function<int(platform::ModalWindow&)> handler;
  };
  using Answer = std::variant<MessageAnswer, InputAnswer, OpenAnswer, OpenManyAnswer, SaveAnswer, FolderAnswer,
                              ColorAnswer, PrintAnswer, ModalAnswer>;

  template <typename T>
  std::optional<T> take(const std::string& what);

  std::deque<Answer> queue_;
  bool acceptOkBoxes_ = false;
};

}  // namespace testsupport

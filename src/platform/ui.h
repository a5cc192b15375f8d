// The user-interface seam: every message box, question and standard dialog that a
// component or window shows goes through ui(). The program installs the Qt
// implementation; tests install a ScriptedUi that answers from a queue and records
// every box with its exact texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

enum class MsgKind { Plain, Warning, Error, Information, Confirmation };

// Buttons of a message box (a set of these bits) and the button chosen.
enum MsgButton : unsigned {
  kBtnNone = 0,
  kBtnOk = 1,
  kBtnCancel = 2,
  kBtnYes = 4,
  kBtnNo = 8,
  kBtnAbort = 16,
  kBtnRetry = 32,
  kBtnIgnore = 64,
};
using MsgButtons = unsigned;
inline constexpr MsgButtons kOk = kBtnOk;
inline constexpr MsgButtons kYesNo = kBtnYes | kBtnNo;
inline constexpr MsgButtons kYesNoCancel = kBtnYes | kBtnNo | kBtnCancel;
inline constexpr MsgButtons kYesNoAbort = kBtnYes | kBtnNo | kBtnAbort;
inline constexpr MsgButtons kOkCancel = kBtnOk | kBtnCancel;

const char* msgKindName(MsgKind k);

// What an open or save dialog shows. The filter has the classic form
// "Text (*.ZIP)|*.zip|Other (*.EXE)|*.EXE" (pairs of description and pattern).
struct FileDialogOptions {
  std::string title;
  std::string filter;
  std::string folder;      // starting folder; empty: the dialog's own choice
  std::string fileName;    // preset name
  std::string defaultExt;  // appended when the typed name has none ("zip")
  bool mustExist = false;  // the chosen file must exist
  bool multiSelect = false;
  // Save dialogs: the dialog itself asks before an existing file is chosen. Off
  // when the caller still changes the name (adds an extension) and asks itself.
  bool confirmOverwrite = true;
};

// A window that can be run modally (a dialog). The widget layer adapts its dialogs
// to this so that tests can drive them through the scripted Ui.
class ModalWindow {
 public:
  virtual ~ModalWindow() = default;
  // Shows the window modally; returns its result (1 = accepted/OK, 0 = cancelled,
  // other values as the window defines them).
  virtual int execModal() = 0;
  // The window's class name ("TAddForm"), so tests know which window is shown.
  virtual std::string windowClass() const = 0;
};

class Ui {
 public:
  virtual ~Ui() = default;
  // A message box; returns the button pressed (kBtnCancel or kBtnNo when closed).
  virtual MsgButton message(MsgKind kind, const std::string& caption, const std::string& text, MsgButtons buttons) = 0;
  // A one-line input box; nullopt on Cancel.
  virtual std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                           const std::string& initial) = 0;
  // A one-line input box whose text is not shown (a password); nullopt on Cancel.
  // Without an override it asks through input().
  virtual std::optional<std::string> password(const std::string& caption, const std::string& prompt) {
    return input(caption, prompt, {});
  }
  virtual std::optional<std::string> openFile(const FileDialogOptions& dlg) = 0;
  virtual std::optional<std::vector<std::string>> openFiles(const FileDialogOptions& dlg) = 0;
  virtual std::optional<std::string> saveFile(const FileDialogOptions& dlg) = 0;
  // A folder picker; nullopt on Cancel.
  virtual std::optional<std::string> pickFolder(const std::string& title, const std::string& start) = 0;
  // A colour picker (0x00BBGGRR); nullopt on Cancel.
  virtual std::optional<std::uint32_t> pickColor(std::uint32_t initial) = 0;
  // Printer choice before printing; false on Cancel.
  virtual bool printDialog(const std::string& caption) = 0;
  // Runs a window modally and returns its result.
  virtual int runModal(ModalWindow& window) = 0;
};

// The Ui in use. Without an installed one, a headless Ui answers every box with
// its most careful choice (Cancel, No, or OK for a box with OK alone) and prints it
// to standard error.
Ui& ui();
// Installs u (not owned); nullptr goes back to the headless Ui.
void setUi(Ui* u);

// Convenience: a box with OK only.
inline void showMessage(MsgKind kind, const std::string& text, const std::string& caption = {}) {
  ui().message(kind, caption, text, kOk);
}

}  // namespace platform

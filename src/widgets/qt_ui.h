// The Qt side of the user-interface seam: real message boxes and dialogs, the pump
// hook, and the adapter that runs our dialogs through platform::ui() so tests can
// drive them.
#pragma once

#include <QDialog>
#include <QString>
#include <string>

#include "platform/ui.h"

class QWidget;

namespace widgets {

// Shows real Qt dialogs. The parent of every box is the active window.
class QtUi : public platform::Ui {
 public:
  platform::MsgButton message(platform::MsgKind kind, const std::string& caption, const std::string& text,
                              platform::MsgButtons buttons) override;
  std::optional<std::string> input(const std::string& caption, const std::string& prompt,
                                   const std::string& initial) override;
  std::optional<std::string> password(const std::string& caption, const std::string& prompt) override;
  std::optional<std::string> openFile(const platform::FileDialogOptions& dlg) override;
  std::optional<std::vector<std::string>> openFiles(const platform::FileDialogOptions& dlg) override;
  std::optional<std::string> saveFile(const platform::FileDialogOptions& dlg) override;
  std::optional<std::string> pickFolder(const std::string& title, const std::string& start) override;
  std::optional<std::uint32_t> pickColor(std::uint32_t initial) override;
  bool printDialog(const std::string& caption) override;
  int runModal(platform::ModalWindow& window) override;
};

// Installs the Qt Ui and a pump hook that processes pending events.
void installQtUi();

// A dialog seen through the seam; tests get the QDialog back with dialog().
class DialogWindow : public platform::ModalWindow {
 public:
  DialogWindow(QDialog& d, std::string className) : dialog_(d), class_(std::move(className)) {}
  int execModal() override { return dialog_.exec(); }
  std::string windowClass() const override { return class_; }
  QDialog& dialog() const { return dialog_; }

 private:
  QDialog& dialog_;
  std::string class_;
};

// Runs a dialog modally through platform::ui(); the class name defaults to the
// dialog's meta-object class name.
int runModal(QDialog& dialog, const char* className = nullptr);

// Qt filter text for a classic "Desc (*.ZIP)|*.zip|..." filter.
QString toQtFilter(const std::string& classic);

// UTF-8 conversions at the boundary between the components and Qt.
inline QString qs(const std::string& s) { return QString::fromStdString(s); }
inline std::string ss(const QString& s) { return s.toStdString(); }

// Colours are kept as 0x00BBGGRR numbers (as the settings file stores them).
QColor colorFromRef(std::uint32_t ref);
std::uint32_t refFromColor(const QColor& c);

}  // namespace widgets

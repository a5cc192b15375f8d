#include "widgets/qt_ui.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMainWindow>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPointer>
#include <QPrinter>
#include <QStringList>

#include "platform/pump.h"

using namespace platform;

namespace widgets {

namespace {

// The window a box or dialog belongs to: the one with the keyboard, else the modal
// window open, else the main window. When another program (or none) has the
// keyboard, a box still belongs to the program's window and stays in front of it.
QWidget* parentWidget() {
  if (QWidget* w = QApplication::activeWindow()) return w;
  if (QWidget* w = QApplication::activeModalWidget()) return w;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->isVisible() && qobject_cast<QMainWindow*>(w)) return w;
  return nullptr;
}

// Gives the keyboard back to the window a box or dialog belonged to once it has
// closed. Some window managers give it to no window then, and the menus'
// shortcuts would do nothing until the mouse moved.
class KeyboardBack {
 public:
  KeyboardBack() : window_(parentWidget()) {}
  ~KeyboardBack() {
    if (window_ && window_->isVisible() && QApplication::activeWindow() != window_) window_->activateWindow();
  }
  KeyboardBack(const KeyboardBack&) = delete;
  KeyboardBack& operator=(const KeyboardBack&) = delete;

 private:
  QPointer<QWidget> window_;
};

QMessageBox::StandardButtons qtButtons(MsgButtons b) {
  QMessageBox::StandardButtons out;
  if (b & kBtnOk) out |= QMessageBox::Ok;
  if (b & kBtnCancel) out |= QMessageBox::Cancel;
  if (b & kBtnYes) out |= QMessageBox::Yes;
  if (b & kBtnNo) out |= QMessageBox::No;
  if (b & kBtnAbort) out |= QMessageBox::Abort;
  if (b & kBtnRetry) out |= QMessageBox::Retry;
  if (b & kBtnIgnore) out |= QMessageBox::Ignore;
  return out ? out : QMessageBox::Ok;
}

MsgButton fromQt(int b) {
  switch (b) {
    case QMessageBox::Ok: return kBtnOk;
    case QMessageBox::Yes: return kBtnYes;
    case QMessageBox::No: return kBtnNo;
    case QMessageBox::Abort: return kBtnAbort;
    case QMessageBox::Retry: return kBtnRetry;
    case QMessageBox::Ignore: return kBtnIgnore;
    default: return kBtnCancel;
  }
}

QFileDialog::Options noNative() { return QFileDialog::Options(); }

}  // namespace

QString toQtFilter(const std::string& classic) {
  QStringList parts = QString::fromStdString(classic).split('|');
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString desc = parts[i];
    QStringList patterns;
    for (const QString& p : parts[i + 1].split(';', Qt::SkipEmptyParts)) {
      // File names on this system are case-sensitive; offer both cases.
      for (const QString& v : {p.toLower(), p.toUpper()})
        if (!patterns.contains(v)) patterns << v;
    }
    int paren = desc.indexOf('(');
    QString label = paren > 0 ? desc.left(paren).trimmed() : desc.trimmed();
    out << QStringLiteral("%1 (%2)").arg(label, patterns.join(' '));
  }
  return out.join(QStringLiteral(";;"));
}

QColor colorFromRef(std::uint32_t ref) {
  if (ref & 0x80000000u) return QApplication::palette().color(QPalette::Base);  // a system colour
  return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                static_cast<int>((ref >> 16) & 0xFF));
}

std::uint32_t refFromColor(const QColor& c) {
  return static_cast<std::uint32_t>(c.red()) | (static_cast<std::uint32_t>(c.green()) << 8) |
         (static_cast<std::uint32_t>(c.blue()) << 16);
}

MsgButton QtUi::message(MsgKind kind, const std::string& caption, const std::string& text, MsgButtons buttons) {
  KeyboardBack back;
  QMessageBox box(parentWidget());
  switch (kind) {
    case MsgKind::Warning: box.setIcon(QMessageBox::Warning); break;
    case MsgKind::Error: box.setIcon(QMessageBox::Critical); break;
    case MsgKind::Information: box.setIcon(QMessageBox::Information); break;
    case MsgKind::Confirmation: box.setIcon(QMessageBox::Question); break;
    case MsgKind::Plain: box.setIcon(QMessageBox::NoIcon); break;
  }
  box.setWindowTitle(caption.empty() ? QApplication::applicationName() : qs(caption));
  // Texts may break lines the old way ("\r"); the box shows them as line breaks.
  QString shown = qs(text);
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
  box.setText(shown);
  box.setStandardButtons(qtButtons(buttons));
  return fromQt(box.exec());
}

std::optional<std::string> QtUi::input(const std::string& caption, const std::string& prompt,
                                       const std::string& initial) {
  KeyboardBack back;
  bool ok = false;
  QString r = QInputDialog::getText(parentWidget(), qs(caption), qs(prompt), QLineEdit::Normal, qs(initial), &ok);
  if (!ok) return std::nullopt;
  return ss(r);
}

std::optional<std::string> QtUi::password(const std::string& caption, const std::string& prompt) {
  KeyboardBack back;
  bool ok = false;
  QString r = QInputDialog::getText(parentWidget(), qs(caption), qs(prompt), QLineEdit::Password, {}, &ok);
  if (!ok) return std::nullopt;
  return ss(r);
}

std::optional<std::string> QtUi::openFile(const FileDialogOptions& dlg) {
  KeyboardBack back;
  QFileDialog d(parentWidget(), qs(dlg.title), qs(dlg.folder), toQtFilter(dlg.filter));
  d.setOptions(noNative());
  d.setAcceptMode(QFileDialog::AcceptOpen);
  d.setFileMode(dlg.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!dlg.defaultExt.empty()) d.setDefaultSuffix(qs(dlg.defaultExt));
  if (!dlg.fileName.empty()) d.selectFile(qs(dlg.fileName));
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
  return ss(d.selectedFiles().front());
}

std::optional<std::vector<std::string>> QtUi::openFiles(const FileDialogOptions& dlg) {
  KeyboardBack back;
  QFileDialog d(parentWidget(), qs(dlg.title), qs(dlg.folder), toQtFilter(dlg.filter));
  d.setFileMode(QFileDialog::ExistingFiles);
  if (d.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> out;
  for (const QString& f : d.selectedFiles()) out.push_back(ss(f));
  return out;
}

std::optional<std::string> QtUi::saveFile(const FileDialogOptions& dlg) {
  KeyboardBack back;
  QFileDialog d(parentWidget(), qs(dlg.title), qs(dlg.folder), toQtFilter(dlg.filter));
  d.setAcceptMode(QFileDialog::AcceptSave);
  d.setOption(QFileDialog::DontConfirmOverwrite, !dlg.confirmOverwrite);
  if (!dlg.fileName.empty()) d.selectFile(qs(dlg.fileName));
  if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return std::nullopt;
  return ss(d.selectedFiles().front());
}

std::optional<std::string> QtUi::pickFolder(const std::string& title, const std::string& start) {
  KeyboardBack back;
  QString r = QFileDialog::getExistingDirectory(parentWidget(), qs(title), qs(start));
  if (r.isEmpty()) return std::nullopt;
  return ss(r);
}

std::optional<std::uint32_t> QtUi::pickColor(std::uint32_t initial) {
  KeyboardBack back;
  QColor c = QColorDialog::getColor(colorFromRef(initial), parentWidget());
  if (!c.isValid()) return std::nullopt;
  return refFromColor(c);
}

bool QtUi::printDialog(const std::string& caption) {
  KeyboardBack back;
  QPrinter printer;
  QPrintDialog d(&printer, parentWidget());
  d.setWindowTitle(qs(caption));
  return d.exec() == QDialog::Accepted;
}

int QtUi::runModal(ModalWindow& window) {
  KeyboardBack back;
  return window.execModal();
}

void installQtUi() {
  static QtUi qtUi;
  setUi(&qtUi);
  setPumpHook([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 50); });
}

int runModal(QDialog& dialog, const char* className) {
  DialogWindow w(dialog, className ? className : dialog.metaObject()->className());
  return ui().runModal(w);
}

}  // namespace widgets

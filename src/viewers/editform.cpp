#include "viewers/editform.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>

#include "platform/atomicfile.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "viewers/finddialogs.h"
#include "viewers/textsearch.h"
#include "widgets/qt_ui.h"

using platform::MsgKind;
using platform::ui;
using widgets::qs;
using widgets::ss;

namespace {

const char* const kTextFilter = "Text Filer (*.TXT)|*.TXT";

// Characters put into the control per step while a large text streams in: small
// enough that one step takes a few hundredths of a second.
constexpr qsizetype kPieceChars = 256 * 1024;

QString namePart(const std::string& path) { return qs(platform::fileNameOf(path)); }

// The printer choice and page set-up: real Qt dialogs on the given printer when the
// Qt Ui is in use, otherwise the question goes through the Ui seam (tests).
bool choosePrinter(QPrinter& printer, QWidget* parent, bool setup, const char* caption) {
  if (dynamic_cast<widgets::QtUi*>(&ui())) {
    if (setup) {
      QPageSetupDialog d(&printer, parent);
      return d.exec() == QDialog::Accepted;
    }
    QPrintDialog d(&printer, parent);
    d.setWindowTitle(QString::fromLatin1(caption));
    return d.exec() == QDialog::Accepted;
  }
  return ui().printDialog(caption);
}

}  // namespace

TF_Editform::TF_Editform(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("Editform"));
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  resize(640, 480);
  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName(QStringLiteral("Memo1"));
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  FindDialog1 = new TFindDialog(this);
  ReplaceDialog1 = new TReplaceDialog(this);
  ReplaceDialog1->setOptions(frDown | frHideWholeWord);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(MainMenu1);
  layout->addWidget(Memo1);
  BuildMenus();
  loadTimer_ = new QTimer(this);
  loadTimer_->setInterval(0);
  connect(loadTimer_, &QTimer::timeout, this, [this] { LoadNextPiece(); });
  FindDialog1->OnFind = [this] { FindDialog1Find(); };
  ReplaceDialog1->OnFind = [this] { ReplaceDialog1Find(); };
  ReplaceDialog1->OnReplace = [this] { ReplaceDialog1Replace(); };
  SetCaption(QStringLiteral("%1 - %2").arg(namePart(FileName), QApplication::applicationName()));
  setModified(false);
}

TF_Editform::~TF_Editform() = default;

QAction* TF_Editform::Action(const QString& name) const { return findChild<QAction*>(name); }

QAction* TF_Editform::AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& key,
                              void (TF_Editform::*handler)()) {
  auto* a = new QAction(QString::fromLatin1(caption), this);
  a->setObjectName(QString::fromLatin1(name));
  if (!key.isEmpty()) a->setShortcut(key);
  connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
  menu->addAction(a);
  return a;
}

void TF_Editform::BuildMenus() {
  using K = QKeySequence;
  QMenu* f = MainMenu1->addMenu(QStringLiteral("&File"));
  f->setObjectName(QStringLiteral("File1"));
  AddItem(f, "New1", "&New", K(), &TF_Editform::New1Click);
  AddItem(f, "Open1", "&Open...", K(), &TF_Editform::Open1Click);
  AddItem(f, "Save1", "&Save", K(), &TF_Editform::Save1Click);
  AddItem(f, "SaveAs1", "Save &As...", K(), &TF_Editform::SaveAs1Click);
  f->addSeparator();
  AddItem(f, "Print1", "&Print...", K(), &TF_Editform::Print1Click);
  AddItem(f, "PrinterSetup1", "P&rinter settings...", K(), &TF_Editform::PrinterSetup1Click);
  f->addSeparator();
  AddItem(f, "Exit1", "&Exit", K(), &TF_Editform::Exit1Click);

  QMenu* e = MainMenu1->addMenu(QStringLiteral("&Edit"));
  e->setObjectName(QStringLiteral("Edit1"));
  auto memo = [this](QMenu* menu, const char* name, const char* caption, const K& key, void (QPlainTextEdit::*slot)()) {
    auto* a = new QAction(QString::fromLatin1(caption), this);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, Memo1, slot);
    menu->addAction(a);
    return a;
  };
  memo(e, "Undo1", "&Undo", K(Qt::CTRL | Qt::Key_Z), &QPlainTextEdit::undo);
  e->addSeparator();
  memo(e, "Cut1", "&Cut", K(Qt::CTRL | Qt::Key_X), &QPlainTextEdit::cut);
  memo(e, "Copy1", "C&opy", K(Qt::CTRL | Qt::Key_C), &QPlainTextEdit::copy);
  memo(e, "Paste1", "&Paste", K(Qt::CTRL | Qt::Key_V), &QPlainTextEdit::paste);
  e->addSeparator();
  memo(e, "SelectAll1", "Select &All", K(), &QPlainTextEdit::selectAll);

  QMenu* s = MainMenu1->addMenu(QStringLiteral("&Search"));
  s->setObjectName(QStringLiteral("Search1"));
  AddItem(s, "Find1", "&Find...", K(Qt::CTRL | Qt::Key_F), &TF_Editform::Find1Click);
  AddItem(s, "Replace1", "&Replace", K(Qt::CTRL | Qt::Key_R), &TF_Editform::Replace1Click);
  AddItem(s, "FindNext1", "Find &Next", K(Qt::Key_F3), &TF_Editform::FindNext1Click)->setEnabled(false);

  PopupMenu1 = new QMenu(this);
  PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
  memo(PopupMenu1, "Undo2", "Undo", K(), &QPlainTextEdit::undo);
  PopupMenu1->addSeparator();
  memo(PopupMenu1, "Cut2", "Cut", K(), &QPlainTextEdit::cut);
  memo(PopupMenu1, "Copy2", "Copy", K(), &QPlainTextEdit::copy);
  memo(PopupMenu1, "Paste2", "Paste", K(), &QPlainTextEdit::paste);
  Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Memo1, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& p) { PopupMenu1->popup(Memo1->viewport()->mapToGlobal(p)); });
}

void TF_Editform::SetCaption(const QString& caption) { setWindowTitle(caption); }

bool TF_Editform::Modified() const { return Memo1->document()->isModified(); }
void TF_Editform::setModified(bool on) { Memo1->document()->setModified(on); }

// ---- loading and saving ----------------------------------------------------------------

namespace {

// A file's bytes as text, with what saving needs to write them back unchanged.
struct DecodedText {
  QString text;
  bool latin1 = false;
  bool crlf = false;
  std::string error;  // the file could not be read
};

DecodedText ReadText(const std::string& path) {
  DecodedText d;
  std::string bytes;
  if (!platform::readWholeFile(path, bytes, &d.error)) {
    if (d.error.empty()) d.error = "cannot be read";
    return d;
  }
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  d.text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
  d.latin1 = utf8.hasError();
  if (d.latin1) d.text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  // CR LF only when every line ends so; a mixed file keeps its CRs as characters.
  const qsizetype lf = d.text.count(QLatin1Char('\n'));
  d.crlf = lf > 0 && d.text.count(QStringLiteral("\r\n")) == lf;
  if (d.crlf) d.text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return d;
}

}  // namespace

struct TF_Editform::PendingText {
  std::future<DecodedText> reading;  // valid until the text is read and decoded
  QString text;
  qsizetype next = 0;
  std::string path;
};

bool TF_Editform::LoadFile(const std::string& path) {
  // A file that cannot be opened is told at once; reading and decoding run beside
  // the window, which stays usable meanwhile.
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    std::fclose(f);
  } else {
    ui().message(MsgKind::Error, {}, "Cannot read " + path + ": " + std::strerror(errno), platform::kOk);
    return false;
  }
  loadTimer_->stop();
  pending_ = std::make_unique<PendingText>();
  pending_->path = path;
  pending_->reading = std::async(std::launch::async, ReadText, path);
  Memo1->document()->setUndoRedoEnabled(false);
  Memo1->setReadOnly(true);
  Memo1->clear();
  setModified(false);
  loadTimer_->start();
  return true;
}

void TF_Editform::LoadNextPiece() {
  if (!pending_) return;
  if (pending_->reading.valid()) {
    // From the timer: wait for the text without blocking the window.
    if (loadTimer_->isActive() &&
        pending_->reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
      return;
    DecodedText d = pending_->reading.get();
    if (!d.error.empty()) {
      const std::string path = pending_->path;
      EndLoading();
      ui().message(MsgKind::Error, {}, "Cannot read " + path + ": " + d.error, platform::kOk);
      return;
    }
    latin1_ = d.latin1;
    crlf_ = d.crlf;
    pending_->text = std::move(d.text);
  }
  const QString& text = pending_->text;
  qsizetype end = std::min(text.size(), pending_->next + kPieceChars);
  // Never split a surrogate pair between two pieces.
  if (end < text.size() && text[end - 1].isHighSurrogate()) ++end;
  QTextCursor c(Memo1->document());
  c.movePosition(QTextCursor::End);
  c.insertText(text.mid(pending_->next, end - pending_->next));
  pending_->next = end;
  setModified(false);
  if (end < text.size()) return;
  EndLoading();
}

void TF_Editform::EndLoading() {
  loadTimer_->stop();
  pending_.reset();
  Memo1->setReadOnly(false);
  Memo1->document()->setUndoRedoEnabled(true);
  Memo1->moveCursor(QTextCursor::Start);
  setModified(false);
}

bool TF_Editform::Loading() const { return pending_ != nullptr; }

void TF_Editform::FinishLoading() {
  loadTimer_->stop();
  while (pending_) LoadNextPiece();
}

bool TF_Editform::SaveLines(const std::string& path) {
  FinishLoading();
  // The raw text keeps no-break spaces; only the block separators become line ends.
  QString text = Memo1->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  if (crlf_) text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  bool latin1 = latin1_;
  if (latin1)
    for (QChar ch : text)
      if (ch.unicode() > 0xFF) {
        latin1 = false;  // a character typed since that Latin-1 cannot hold
        break;
      }
  const QByteArray data = latin1 ? text.toLatin1() : text.toUtf8();
  std::string error;
  if (!platform::writeFileAtomically(path, std::string_view(data.constData(), static_cast<std::size_t>(data.size())),
                                     &error)) {
    ui().message(MsgKind::Error, {}, "Cannot write " + path + ": " + error, platform::kOk);
    return false;
  }
  return true;
}

// ---- the File menu -------------------------------------------------------------------------

void TF_Editform::New1Click() {
  pending_.reset();
  loadTimer_->stop();
  const bool had = !Memo1->document()->isEmpty();
  Memo1->setReadOnly(false);
  Memo1->document()->setUndoRedoEnabled(true);
  Memo1->clear();
  if (had) setModified(true);
  FileName = "Noname";
  OpenDialogFileName.clear();
  latin1_ = crlf_ = false;
  SetCaption(QStringLiteral("- Noname"));
}

void TF_Editform::Open1Click() {
  platform::FileDialogOptions o;
  o.title = "Open";
  o.filter = kTextFilter;
  o.folder = platform::programFolder();
  o.fileName = OpenDialogFileName;
  o.mustExist = true;
  std::optional<std::string> path = ui().openFile(o);
  if (!path || path->empty()) return;
  if (!LoadFile(*path)) return;
  OpenDialogFileName = *path;
  FileName = *path;
  SetCaption(QStringLiteral("- ") + namePart(*path));
}

void TF_Editform::Save1Click() {
  // Only a full path: a bare name proposed by the owner is no place to write to.
  if (OpenDialogFileName.empty() || OpenDialogFileName.front() != '/') return SaveAs1Click();
  SaveLines(OpenDialogFileName);
}

void TF_Editform::SaveAs1Click() {
  platform::FileDialogOptions o;
  o.title = "Save As";
  o.filter = kTextFilter;
  o.folder = platform::programFolder();
  o.fileName = SaveDialogFileName;
  std::optional<std::string> path = ui().saveFile(o);
  if (!path || path->empty()) return;
  if (!SaveLines(*path)) return;
  SetCaption(QStringLiteral("- ") + namePart(*path));
  OpenDialogFileName = *path;
  FileName = *path;
}

void TF_Editform::Print1Click() {
  if (!choosePrinter(Printer, this, false, "Print")) return;
  FinishLoading();
  QPainter p;
  if (!p.begin(&Printer)) {
    ui().message(MsgKind::Error, {}, "The printer could not be started.", platform::kOk);
    return;
  }
  p.setFont(Memo1->font());
  const QFontMetrics fm(p.font(), &Printer);
  const QRect page = p.viewport();
  int y = 0;
  for (QTextBlock b = Memo1->document()->firstBlock(); b.isValid(); b = b.next()) {
    if (y > 0 && y + fm.height() > page.height()) {
      Printer.newPage();
      y = 0;
    }
    p.drawText(0, y + fm.ascent(), b.text());
    y += fm.lineSpacing();
  }
  p.end();
}

void TF_Editform::PrinterSetup1Click() { choosePrinter(Printer, this, true, "Printer settings"); }

void TF_Editform::Exit1Click() { close(); }

// ---- searching ------------------------------------------------------------------------------

bool TF_Editform::SearchMemo(const QString& what, bool down, bool matchCase, bool wholeWord) {
  FinishLoading();
  const QString text = Memo1->document()->toRawText();
  const QTextCursor c = Memo1->textCursor();
  const qsizetype pos = viewers::FindInText(text, what, c.selectionStart(), c.selectionEnd(),
                                            viewers::SearchOptions{down, matchCase, wholeWord});
  if (pos < 0) return false;
  QTextCursor m(Memo1->document());
  m.setPosition(static_cast<int>(pos));
  m.setPosition(static_cast<int>(pos + what.size()), QTextCursor::KeepAnchor);
  Memo1->setTextCursor(m);
  Memo1->ensureCursorVisible();
  return true;
}

void TF_Editform::Find1Click() {
  QTextCursor c = Memo1->textCursor();
  c.setPosition(0);
  Memo1->setTextCursor(c);
  FindDialog1->Execute();
  Action(QStringLiteral("FindNext1"))->setEnabled(true);
}

void TF_Editform::FindDialog1Find() {
  FindDialog1->CloseDialog();
  Memo1->setFocus();
  FindNext1Click();
}

void TF_Editform::FindNext1Click() {
  const QString what = FindDialog1->FindText();
  const TFindOptions o = FindDialog1->Options();
  if (!SearchMemo(what, o & frDown, o & frMatchCase, o & frWholeWord))
    ui().message(MsgKind::Information, {}, "Text not found.", platform::kOk);
  // The next search goes down again; the case and word choices stay.
  ReplaceDialog1->setFindText(what);
  FindDialog1->setOptions(frDown | (o & (frMatchCase | frWholeWord)));
  ReplaceDialog1->setOptions(frDown | frHideWholeWord | (ReplaceDialog1->Options() & frMatchCase));
}

void TF_Editform::Replace1Click() {
  const QString selected = Memo1->textCursor().selectedText();
  if (!selected.isEmpty() && selected.size() < 30 && !selected.contains(QChar::ParagraphSeparator))
    ReplaceDialog1->setFindText(selected);
  ReplaceDialog1->setOptions(frDown | frHideWholeWord | (ReplaceDialog1->Options() & frMatchCase));
  ReplaceDialog1->Execute();
}

void TF_Editform::ReplaceDialog1Find() {
  FindDialog1->setFindText(ReplaceDialog1->FindText());
  const TFindOptions o = FindDialog1->Options();
  FindDialog1->setOptions((o & ~frMatchCase) | (ReplaceDialog1->Options() & frMatchCase));
  ReplaceDialog1->CloseDialog();
  Memo1->setFocus();
  Action(QStringLiteral("FindNext1"))->setEnabled(true);
  FindNext1Click();
}

void TF_Editform::ReplaceSelection(const QString& with) { Memo1->textCursor().insertText(with); }

void TF_Editform::ReplaceDialog1Replace() {
  FinishLoading();
  const QString what = ReplaceDialog1->FindText(), with = ReplaceDialog1->ReplaceText();
  const TFindOptions o = ReplaceDialog1->Options();
  const bool matchCase = o & frMatchCase, all = o & frReplaceAll;
  if (what.isEmpty()) return;
  if (Memo1->textCursor().selectedText().toUpper() == what.toUpper()) ReplaceSelection(with);
  const bool found = SearchMemo(what, true, matchCase, false);
  if (found && all) {
    // Every further match at once, in one step of the undo history; the matches are
    // taken from the text before the change and replaced from the last one back, so
    // the earlier positions stay valid.
    const QString text = Memo1->document()->toRawText();
    const std::vector<qsizetype> hits =
        viewers::FindAllInText(text, what, Memo1->textCursor().selectionStart(), {true, matchCase, false});
    QTextCursor c(Memo1->document());
    c.beginEditBlock();
    for (auto it = hits.rbegin(); it != hits.rend(); ++it) {
      c.setPosition(static_cast<int>(*it));
      c.setPosition(static_cast<int>(*it + what.size()), QTextCursor::KeepAnchor);
      c.insertText(with);
    }
    c.endEditBlock();
    if (!hits.empty()) {
      QTextCursor end(Memo1->document());
      end.setPosition(static_cast<int>(hits.back() + (with.size() - what.size()) * (hits.size() - 1) + with.size()));
      Memo1->setTextCursor(end);
    }
  } else if (!found && !all) {
    ui().message(MsgKind::Plain, {}, "Cannot find \"" + ss(what) + "\".", platform::kOk);
  }
}

// ---- closing ----------------------------------------------------------------------------------

void TF_Editform::FormClose() {
  if (closed_) return;
  pending_.reset();
  loadTimer_->stop();
  if (!EditState || *EditState != 1 || !Modified()) {
    closed_ = true;
    return;
  }
  if (!SaveLines(SavePath)) {
    // The text exists nowhere else: the window stays unless the user gives it up.
    if (ui().message(MsgKind::Confirmation, {}, "Close the editor without keeping the changes?", platform::kYesNo) !=
        platform::kBtnYes)
      return;
    *EditState = 0;
    closed_ = true;
    return;
  }
  closed_ = true;
  if (ui().message(MsgKind::Confirmation, {}, "Update zipfile?", platform::kYesNo) == platform::kBtnYes) {
    *EditState = 2;
  } else {
    std::remove(SavePath.c_str());
    *EditState = 0;
  }
}

void TF_Editform::done(int result) {
  FormClose();
  if (!closed_) return;
  QDialog::done(result);
}

void TF_Editform::closeEvent(QCloseEvent* event) {
  FormClose();
  if (!closed_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void TF_Editform::keyPressEvent(QKeyEvent* event) {
  // Escape would close the window on a stray key press; the text stays.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

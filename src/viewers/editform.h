// TF_Editform: the built-in text editor. One plain-text control fills the window,
// with a menu bar, a pop-up menu, the open, save, print and printer set-up dialogs
// and modeless find and replace windows.
//
// The main window uses it to show a text member extracted from the open archive:
// it sets EditState (pointing at its own value 1) and SavePath before showing the
// window; on closing, a changed text is saved to SavePath and the user is asked
// whether the archive should get it ("Update zipfile?"): Yes sets the state to 2,
// No deletes the saved file and sets it to 0. It also works as a plain editor.
//
// Files are read as UTF-8; a file that is not valid UTF-8 is read byte for byte as
// Latin-1 and written back the same way, so saving never changes bytes the user did
// not edit. Line ends are kept as the file had them (LF or CR LF). Large files are
// put into the control a piece at a time from the event loop, so the window shows
// and answers at once while the file is read and decoded beside it and the text
// streams in; the text is read-only until then.
#pragma once

#include <QDialog>
#include <QPrinter>
#include <memory>
#include <string>

class QAction;
class QMenu;
class QMenuBar;
class QPlainTextEdit;
class QTimer;
class TFindDialog;
class TReplaceDialog;

class TF_Editform : public QDialog {
  Q_OBJECT
 public:
  explicit TF_Editform(QWidget* parent = nullptr);
  ~TF_Editform() override;

  QMenuBar* MainMenu1;
  QPlainTextEdit* Memo1;
  QMenu* PopupMenu1;
  TFindDialog* FindDialog1;
  TReplaceDialog* ReplaceDialog1;
  // A menu item by name ("FindNext1"), or nullptr.
  QAction* Action(const QString& name) const;

  // ---- state -----------------------------------------------------------------------
  // The current file ("Noname" when none); the open and save dialogs' file names.
  std::string FileName = "Noname";
  std::string OpenDialogFileName;
  std::string SaveDialogFileName;
  // The owner's edit state: the closing rule runs when it points at 1. Not owned.
  int* EditState = nullptr;
  // Where closing saves a changed text while EditState is 1.
  std::string SavePath;
  // The printer Print and "Printer settings" use.
  QPrinter Printer;

  bool Modified() const;
  void setModified(bool on);

  // Reads path into the text control (see above). A file that cannot be read is
  // reported in an error box and leaves the text as it was; returns false then.
  // Modified stays false.
  bool LoadFile(const std::string& path);
  // Whether a loaded text is still streaming into the control.
  bool Loading() const;
  // Puts the rest of a streaming text into the control at once.
  void FinishLoading();
  // Writes the text to path (atomically). A failure is reported in an error box;
  // returns false then.
  bool SaveLines(const std::string& path);

  // ---- menu handlers ----------------------------------------------------------------
  void New1Click();
  void Open1Click();
  void Save1Click();
  void SaveAs1Click();
  void Print1Click();
  void PrinterSetup1Click();
  void Exit1Click();
  void Find1Click();
  void Replace1Click();
  void FindNext1Click();
  // The find window's "&Find Next".
  void FindDialog1Find();
  // The replace window's "&Find Next", "&Replace" and "Replace &All".
  void ReplaceDialog1Find();
  void ReplaceDialog1Replace();
  // The closing rule; runs once, when the window closes.
  void FormClose();

  void done(int result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QAction* AddItem(QMenu* menu, const char* name, const char* caption, const QKeySequence& key,
                   void (TF_Editform::*handler)());
  void BuildMenus();
  void SetCaption(const QString& caption);
  void LoadNextPiece();
  void EndLoading();
  // Searches the find text of dialog from the selection; selects a match.
  bool SearchMemo(const QString& what, bool down, bool matchCase, bool wholeWord);
  void ReplaceSelection(const QString& with);

  struct PendingText;
  std::unique_ptr<PendingText> pending_;
  QTimer* loadTimer_ = nullptr;
  bool latin1_ = false;  // the file was not UTF-8: written back as Latin-1
  bool crlf_ = false;    // the file's lines end in CR LF
  bool closed_ = false;
};

// The Add dialog: collects the files and folders to add to the open archive.
//
// Left: a folder tree (DirectoryListBox1) and the files of its current folder
// (FileListBox1). Right: the chosen names (SelectedList), one full path per line —
// a file line is the folder with a trailing "/" followed by the file name, a folder
// line is the folder with its trailing "/". The buttons add the selected files or
// the current folder (each line once), remove the selected lines and sort the list;
// files dragged from FileListBox1 onto SelectedList are added as "Add file(s)"
// adds them. Names dropped from other programs are appended by the owner through
// AddDroppedNames, duplicates included.
//
// Results, read by the caller after the dialog closes: dialogs::DialogCancelled
// (false only after OK), SelectedNames(), CB_Move, Ch_Update, CheckBox1 and
// CurrentFolder(). OnClosed runs whenever the dialog closes, by any means.
#pragma once

#include <QDialog>
#include <QListWidget>
#include <QStringList>
#include <functional>
#include <string>
#include <vector>

#include "dialogs/settings_model.h"

class QCheckBox;
class QLabel;
class QMimeData;
class QPushButton;
class TAddForm;
namespace widgets {
class TDirTree;
}

// The files of one folder; the user drags the selected ones to SelectedList.
class TFileListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TFileListBox(QWidget* parent = nullptr);

 protected:
  void startDrag(Qt::DropActions supportedActions) override;
};

// The list of chosen names; accepts drags only as its dialog allows.
class TSelectedList : public QListWidget {
  Q_OBJECT
 public:
  explicit TSelectedList(TAddForm& form, QWidget* parent = nullptr);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // Accepts a drag from the file list or, as the dialog allows, from another program.
  void answerDrag(QDragMoveEvent* event);
  TAddForm& form_;
};

class TAddForm : public QDialog {
  Q_OBJECT
 public:
  // settings must outlive the dialog (FormActivate reads cb_Outside from it).
  explicit TAddForm(dialogs::TSettings& settings, QWidget* parent = nullptr);

  // "" stays ""; a text ending in "/" stays; otherwise "/" is appended.
  static std::string AppendSlash(const std::string& folder);

  // Selects folder in the tree (as far as its parts exist) and lists its files.
  // An empty path is ignored.
  void SetFolder(const std::string& folder);
  // The tree's current folder, "" when none is selected.
  std::string CurrentFolder() const;
  // The lines of SelectedList, top to bottom.
  std::vector<std::string> SelectedNames() const;
  // Appends names to SelectedList as they are, without looking for equal lines
  // (in sorted position once the list is sorted).
  void AddDroppedNames(const QStringList& names);
  // Whether files dropped from other programs are taken while this dialog is
  // active (the cb_Outside setting at the last activation).
  bool AcceptsDrops() const { return acceptsDrops_; }

  // Runs when the dialog closes (OK, Close, Escape, the frame): the owner learns
  // that no Add command is showing the dialog any more.
  std::function<void()> OnClosed;
  // Files dropped from other programs onto the dialog (full local paths, in the
  // order given), while AcceptsDrops() is on. Unset: the names are appended to
  // SelectedList as AddDroppedNames does.
  std::function<void(const QStringList& files)> OnDropFiles;

  QLabel* Panel8;
  widgets::TDirTree* DirectoryListBox1;
  TFileListBox* FileListBox1;
  QPushButton* bu_Selectall;
  QLabel* Label1;
  QPushButton* Bitbtn7;
  QPushButton* Bitbtn6;
  QPushButton* bu_Delete;
  QPushButton* Sortbut;
  TSelectedList* SelectedList;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QCheckBox* CB_Move;
  QCheckBox* Ch_Update;
  QCheckBox* CheckBox1;

  void BU_SelectallClick();
  void BitBtn7Click();  // "Add dir"
  void BitBtn6Click();  // "Add file(s)"
  void RemoveButClick();
  void SortButClick();
  void BitBtn1Click();  // OK
  void BitBtn2Click();  // Close
  // Whether a drag from source may be dropped on SelectedList: only from FileListBox1.
  bool SelectedListDragOver(const QObject* source) const;
  // A drop from source on SelectedList: the selected files of FileListBox1 are
  // added as "Add file(s)" adds them (DialogCancelled untouched). Other sources
  // are refused; returns whether the drop was taken.
  bool SelectedListDragDrop(const QObject* source);
  // Lists the tree's current folder in FileListBox1: its files (hidden ones too,
  // no folders), sorted by name ignoring case.
  void DirectoryListBox1Change();
  // Takes drops from other programs exactly when cb_Outside is on.
  void FormActivate();

  // Whether a drag of mime from source is a drop of files from another program
  // that this dialog takes: no source inside this program, local files in it, and
  // AcceptsDrops() on.
  bool AcceptsOutsideDrop(const QObject* source, const QMimeData* mime) const;
  // Hands files dropped from another program to OnDropFiles (unset: appends them).
  void DropFromOutside(const QStringList& files);

  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void changeEvent(QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void AddSelectedFiles();
  void AddUnique(const QString& line);
  void ShowLastLine();

  dialogs::TSettings& settings_;
  bool acceptsDrops_ = false;
};

// The make-SFX dialog: the caption, default folder, overwrite action, options and
// command line that a self-extracting program made from the open archive will
// show and use. OK writes them into the engine's SFX properties and sets the
// caller's confirmation flag; Close clears it. Nothing is checked here: the
// conversion refuses texts that are too long together.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class TRadioGroup;
class TZipEngine;

class TMakeSFX : public QDialog {
  Q_OBJECT
 public:
  // engine receives the settings on OK; confirmed is set on OK and cleared on
  // Close. Both must outlive the dialog.
  TMakeSFX(TZipEngine& engine, bool& confirmed, QWidget* parent = nullptr);

  QTabWidget* PageControl1;
  QLineEdit* CaptionEdit;
  QLineEdit* DirectoryEdit;
  TRadioGroup* DfltOverWriteGrp;  // 0 "Ask User", 1 "Always Overwrite", 2 "Skip extraction"
  QCheckBox* CmdLineCB;
  QCheckBox* FileListCB;
  QCheckBox* HideOverwriteCB;
  QLineEdit* CommandEdit;
  QPushButton* BitBtn1;  // OK
  QPushButton* BitBtn2;  // Close

  void FormCreate();
  void ExecButClick();
  void CancelButClick();

 private:
  TZipEngine& engine_;
  bool& confirmed_;
};

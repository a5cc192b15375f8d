// The install windows. TF_FileToInstall lets the user pick one of several
// installer programs found in the open archive; TF_Install extracts the whole
// archive into a fresh folder inside a temporary folder, runs the chosen installer
// there and waits for it, and can remove the folder again.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "widgets/deltree.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TSortGrid;
class TZipEngine;
namespace dialogs {
class TSettings;
}

class TF_Install : public QDialog {
  Q_OBJECT
 public:
  // engine: the main window's engine with the open archive (not owned).
  // installer: the installer's file name without folder, shown in la_File.
  TF_Install(TZipEngine& engine, const dialogs::TSettings& settings, const std::string& installer,
             QWidget* parent = nullptr);

  QLabel* Label1;
  QLabel* Label2;
  QLabel* la_File;
  QLabel* Label3;
  QLineEdit* ed_Dir;
  QCheckBox* ch_Remove;
  QPushButton* BitBtn1;  // OK
  QPushButton* BitBtn2;  // Close
  widgets::TMPDelTree DelTree;

  // The owner's message handler: gets the start of the extraction (code 0).
  std::function<void(int code, const std::string& text)> OnMessage;

  // ed_Dir := the temporary folder of the settings.
  void FormActivate();
  // Extracts, runs the installer and offers to remove the folder (see above).
  void BitBtn1Click();
  void BitBtn2Click();

  // The folder the last OK extracted into ("" before); it is gone again when the
  // user had it removed.
  const std::string& InstallFolder() const { return installFolder_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TZipEngine& engine_;
  const dialogs::TSettings& settings_;
  std::string installer_;
  std::string installFolder_;
};

class TF_FileToInstall : public QDialog {
  Q_OBJECT
 public:
  // chosen: the owner's chosen installer, set by a double click or Enter on a row
  // and left alone otherwise (not owned).
  TF_FileToInstall(const dialogs::TSettings& settings, std::string& chosen, QWidget* parent = nullptr);

  TSortGrid* StringGrid1;
  QPushButton* bu_Close;

  // One row per candidate below the title row.
  void SetCandidates(const std::vector<std::string>& names);

  void FormCreate();
  void StringGrid1DblClick();
  void StringGrid1KeyPress(int& key);
  void BitBtn1Click();

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  const dialogs::TSettings& settings_;
  std::string& chosen_;
};

// The Extract dialog: where and how to extract from the open archive.
//
// The caller may set the folder (SetFolder) and which files to extract
// (setFilesToExtract), runs the dialog modally and then reads the results it
// leaves in the dialog globals: DialogCancelled (true from the moment the dialog is
// created or shown until OK), ExtractDir (the tree's folder on OK, empty on Cancel
// and on Escape, untouched when the window is closed by its frame), ExtractWithPaths,
// ExtractOverwrite and ExtractAll (set on OK from the three radio groups).
#pragma once

#include <QDialog>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QToolButton;
class TRadioGroup;
namespace widgets {
class TDirTree;
}

class TExtract : public QDialog {
  Q_OBJECT
 public:
  explicit TExtract(QWidget* parent = nullptr);

  // Selects folder in the tree (as far as its parts exist). An empty path is ignored.
  void SetFolder(const std::string& folder);
  // The tree's current folder, "" when none is selected.
  std::string Folder() const;
  // RadioGroup3: 0 "All Files", 1 "Selected Files".
  void setFilesToExtract(int index);
  int FilesToExtract() const;

  QLabel* Label1;
  QComboBox* DriveComboBox1;  // "/", the home folder and the removable/network mounts
  QToolButton* bu_NewDir;
  widgets::TDirTree* Dirt1;
  TRadioGroup* RadioGroup1;  // Expand ZIP Dirs: 0 "No", 1 "Yes"
  TRadioGroup* RadioGroup2;  // OverWrite Existing: 0 "No", 1 "Yes"
  TRadioGroup* RadioGroup3;  // Files to Extract: 0 "All Files", 1 "Selected Files"
  QCheckBox* Ch_ExtUpdate;   // shown only; its state is not passed on
  QPushButton* BitBtn1;      // OK
  QPushButton* BitBtn2;      // Cancel

  // DialogCancelled := true: until OK, the dialog counts as cancelled.
  void FormActivate();
  // Moves the tree to the root chosen in DriveComboBox1.
  void DriveComboBox1Change();
  // Asks for a folder name, creates it below the tree's folder and selects it. A
  // folder that cannot be created is reported in an error box; the dialog stays.
  void bu_NewDirClick();
  void BitBtn1Click();  // OK
  void BitBtn2Click();  // Cancel

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Shows in DriveComboBox1 the root that holds the tree's folder.
  void ShowDriveOf(const std::string& folder);

  bool centred_ = false;
};

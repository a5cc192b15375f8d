// TF_Attach: picks the files to mail. On the left a drive box, a folder tree and the
// folder's files (several can be selected); on the right the attached files
// (lbx_attach, names drawn with their icons) and, hidden, their full paths
// (lbx_real, index for index). OK keeps the new list, Cancel or Escape changes
// nothing.
#pragma once

#include <QDialog>
#include <QStringList>
#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QPushButton;
namespace widgets {
class TDirTree;
}

class TF_Attach : public QDialog {
  Q_OBJECT
 public:
  explicit TF_Attach(QWidget* parent = nullptr);

  // Fills both lists from full paths (the name part into lbx_attach).
  void SetAttachments(const std::vector<std::string>& paths);
  // The full paths in lbx_real, top to bottom.
  std::vector<std::string> Attachments() const;
  // Shows folder in the tree and lists its files.
  void SetFolder(const std::string& folder);

  QComboBox* DriveComboBox1;
  widgets::TDirTree* DirectoryListBox1;
  QListWidget* FileListBox1;
  QListWidget* lbx_attach;
  QListWidget* lbx_real;
  QPushButton* btn_add;  // "&Add to list"
  QPushButton* btn_del;  // "&Remove from list"
  QPushButton* btn_ok;
  QPushButton* Button1;  // Cancel

  void btn_addClick();
  void btn_delClick();
  void DriveComboBox1Change();
  void DirectoryListBox1Change();

 private:
  void AddPair(const QString& path);
};

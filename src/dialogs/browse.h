// The folder-browse window: a folder tree with OK and Cancel. The caller sets the
// caption and the starting folder, runs it modally and, on OK, takes Folder().
#pragma once

#include <QDialog>
#include <optional>
#include <string>

class QPushButton;
namespace widgets {
class TDirTree;
}

class TF_Browse : public QDialog {
  Q_OBJECT
 public:
  explicit TF_Browse(QWidget* parent = nullptr);

  // The tree's current folder; nothing when no folder is selected.
  std::optional<std::string> Folder() const;
  // Selects folder in the tree (as far as its parts exist). An empty path is ignored.
  void SetFolder(const std::string& folder);

  widgets::TDirTree* dirt;
  QPushButton* bu_Ok;
  QPushButton* bu_Close;
};

// TF_Favorites: the favourite archives, one row each (the archive's file name,
// its date and time, its size), sortable by a click on a title. A double click
// or Enter opens the archive of the row in the main window; "Remove" drops the
// favourite of the row from the list and from "Favorites.lst".
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QPushButton;
class QStatusBar;
class TSortGrid;

namespace dialogs {
struct TSettings;
}

class TF_Favorites : public QDialog {
  Q_OBJECT
 public:
  // favorites: the main window's list, changed in place by Remove. openArchive
  // opens an archive in the main window; true when it is open (the window then
  // closes).
  TF_Favorites(const dialogs::TSettings& settings, std::vector<std::string>& favorites,
               std::function<bool(const std::string& path)> openArchive, QWidget* parent = nullptr);

  TSortGrid* StringGrid1;
  QStatusBar* StatusBar1;
  QPushButton* bu_Delete;
  QPushButton* bu_Close;

  void FormCreate();
  void FillFavorites();
  void StringGrid1Click();
  void StringGrid1DblClick();  // also Enter in the grid
  void bu_DeleteClick();
  void BitBtn1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The index in the list of the favourite shown in a row, or -1 for none.
  int FavoriteAt(int row) const;

  const dialogs::TSettings& settings_;
  std::vector<std::string>& favorites_;
  std::function<bool(const std::string&)> openArchive_;
};

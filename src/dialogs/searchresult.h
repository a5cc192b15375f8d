// TF_Result: the files a search found, one row each ("File Name", "Date/Time",
// "Size"), sortable by a click on a title. In the archive search a found archive
// is opened in the main window (double click or "&Open zipfile"); in the file
// search the selected files are handed back to be added to the open archive.
#pragma once

#include <QDialog>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class TSortGrid;

namespace dialogs {
struct TSettings;
}

// What the main window does for the search windows.
struct TSearchActions {
  // 1: search for archives, 2: search for files to add to the open archive.
  int SearchMode = 1;
  // Opens a found archive; true when it is open (the search windows then close).
  std::function<bool(const std::string& path)> OpenArchive;
  // True when the open archive takes no files (the user has been told why).
  std::function<bool()> AddRefused;
};

class TF_Result : public QDialog {
  Q_OBJECT
 public:
  // results: the lines of the search (read while the window lives).
  TF_Result(const dialogs::TSettings& settings, const TSearchActions& actions, const std::vector<std::string>& results,
            QWidget* parent = nullptr);

  QLabel* pa_Banner;
  QLabel* la_Result;
  TSortGrid* StringGrid1;
  QPushButton* bu_Open;
  QPushButton* bu_Files;
  QPushButton* bu_Close;

  // The files chosen with "Add file(s) to archive" (empty otherwise).
  std::vector<std::string> FilesToAdd;

  void FormCreate();
  void StringGrid1DblClick();  // also "&Open zipfile"
  void bu_FilesClick();
  void BitBtn1Click();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const dialogs::TSettings& settings_;
  const TSearchActions& actions_;
  const std::vector<std::string>& results_;
};

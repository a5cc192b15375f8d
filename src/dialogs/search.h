// TF_Search: searches a folder, or a folder and every folder below it, for files
// matching a name pattern, and shows what it found in TF_Result. The same window
// serves the search for archives (caption "Search for archive(s)") and for files
// to add to the open archive ("Search for file(s)").
//
// The walk runs on the window's thread and processes pending events as it goes,
// so the window repaints and "&Abort" stops it. The process's working folder is
// never changed. An aborted search shows no result window.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "dialogs/searchresult.h"
#include "search/dirnavigator.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

class TF_Search : public QDialog {
  Q_OBJECT
 public:
  TF_Search(const dialogs::TSettings& settings, TSearchActions actions, QWidget* parent = nullptr);

  QLabel* pa_Banner;
  QLineEdit* ed_Startin;
  QLineEdit* ed_file;
  QCheckBox* ch_Recursive;
  QPushButton* bu_Start;
  QPushButton* bu_Abort;
  QStatusBar* StatusBar1;
  search::TDirNavigator DirNav;

  // The lines found by the last search: folder + name, ";", the date of the
  // search, ";", the size in bytes.
  std::vector<std::string> ResultList;
  // The files the result window chose to add (the window has closed).
  std::vector<std::string> FilesToAdd;
  // Runs the result window; tests replace it to look at the window instead.
  std::function<void(TF_Result& result)> ShowResult;

  void bu_StartClick();
  void bu_AbortClick();
  bool Running() const { return running_; }

  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void DirNavIdle();
  void Finish();

  const dialogs::TSettings& settings_;
  TSearchActions actions_;
  bool running_ = false;  // bu_Start's tag: set while a search runs
  bool aborted_ = false;
  bool walking_ = false;  // inside DirNav.Navigate()
  std::string today_;
};

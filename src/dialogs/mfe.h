// The multiple-file extraction window: a work list of ZIP and RAR archives, each
// with the folder it goes into, extracted from top to bottom in one run by the
// window's own ZIP engine and RAR reader (independent of the archive open in the
// main window). A problem with one archive is reported and the run goes on with
// the next; only a destination folder that cannot be made ends the run. Cancel
// during a run stops the archive being extracted (no partial file is left under
// its final name), skips the rest and closes the window.
//
// The work list is the grid gr_Files: row 0 holds the titles, every other row an
// archive's full path (column 0) and its destination folder (column 1, editable).
// Paths are used as full paths, made from the text once per row: the run never
// depends on or changes the process's working folder.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

#include "rar/rararc.h"
#include "zipengine/zipengine.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class TSortGrid;

class TF_MFE : public QDialog {
  Q_OBJECT
 public:
  explicit TF_MFE(QWidget* parent = nullptr);
  ~TF_MFE() override;

  QLabel* Panel8;  // banner
  QLabel* Label1;
  QLineEdit* ed_Defdir;  // the folder a newly added archive is given
  QPushButton* bu_Add;
  QPushButton* bu_Delete;
  TSortGrid* gr_Files;
  QPushButton* BitBtn1;  // Start extracting
  QPushButton* bu_Close;
  QLabel* la_Archive;  // the archive being extracted
  QLabel* la_File;     // the RAR entry being extracted
  QProgressBar* ProgressBar1;

  TZipEngine ZipEngine1;
  TRAR rar;

  // Lays out the empty work list: the title row and one empty row that the first
  // added archive takes. Done once; later activations keep the list.
  void FormActivate();
  // Asks for archives (several at once) and adds a row for each, in the order given.
  void bu_AddClick();
  // Removes the selected rows.
  void bu_DeleteClick();
  // Extracts every row; at the end tells how many archives were extracted without
  // a problem. Does nothing while a run is going.
  void BitBtn1Click();
  // Closes the window; during a run, stops it first.
  void bu_CloseClick();

  // Puts path in the list with the folder ed_Defdir holds now.
  void AddArchiveRow(const std::string& path);

  // A run is going.
  bool Running() const { return running_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  enum class Outcome { Extracted, Failed, Cancelled };
  Outcome ExtractZip(const std::string& archive, const std::string& folder);
  Outcome ExtractRar(const std::string& archive, const std::string& folder);
  // One row of the run; false when the run must end.
  bool ExtractRow(int row, int& counter);
  void SetRunning(bool on);

  void ZipEngine1Progress(ProgressType ProgrType, std::int64_t FileSize);
  void ZipEngine1Message(int ErrCode, const std::string& Message);
  void rarExtracting(const RARHeaderData& eFile);
  int rarProcessData(std::int64_t Position);
  void rarError(int Error);
  void rarReqPassword(std::string& Password);
  int rarVolumeChange(const char* ArcName, int Mode);
  void StepBar();

  bool firstRow_ = true;  // the list's one data row is still the empty one
  bool laidOut_ = false;
  bool running_ = false;
  bool cancelled_ = false;
  int zipProblems_ = 0;  // problems the ZIP libraries reported for the archive being extracted
  int rarBarShift_ = 0;  // RAR entry sizes beyond the bar's range are shifted right
};

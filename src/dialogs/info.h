// The archive information window: the archive file's name, date, size and the
// uncompressed size of its listed files.
#pragma once

#include <QDialog>
#include <cstdint>
#include <string>

class QLabel;
class QPushButton;

class TF_Info : public QDialog {
  Q_OBJECT
 public:
  // archivePath: the archive file; uncompressed: the sum of the listing's sizes.
  TF_Info(const std::string& archivePath, std::int64_t uncompressed, QWidget* parent = nullptr);

  QLabel* la_Archive;
  QLabel* la_Date;
  QLabel* la_Size;
  QLabel* la_Unc;
  QPushButton* bu_Close;

 protected:
  void showEvent(QShowEvent* e) override;

 private:
  // Fills the four labels (the window does it when it becomes active).
  void FormActivate();
  std::string path_;
  std::int64_t uncompressed_;
};

// The progress window of TFileOperation: title, the file being worked on (unless
// simple progress was asked for), a bar, and Cancel. It is shown without a nested
// event loop: the running operation updates it and pumps events, and reads
// cancelRequested() between blocks. It blocks input to the other windows while shown.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace widgets {

struct TFileOpProgress;

class TCopyProgress : public QDialog {
  Q_OBJECT
 public:
  // showNames false hides the file names (a simple progress window).
  TCopyProgress(QWidget* parent, const QString& title, bool showNames);

  void setProgress(const TFileOpProgress& progress);
  // True once Cancel was clicked or the window was closed.
  bool cancelRequested() const { return cancelRequested_; }

  QLabel* la_File = nullptr;
  QLabel* la_Target = nullptr;
  QProgressBar* pb_Progress = nullptr;
  QPushButton* bu_Cancel = nullptr;

 protected:
  void reject() override;

 private:
  bool showNames_;
  bool cancelRequested_ = false;
};

}  // namespace widgets

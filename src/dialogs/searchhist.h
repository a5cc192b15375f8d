// TF_SearchHist: a small list window that stays on top ("Address book" for the mail
// dialog). The owner fills lb_SearchHist and is told of each click on an entry; a
// double click closes the window.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QListWidget;

class TF_SearchHist : public QDialog {
  Q_OBJECT
 public:
  explicit TF_SearchHist(QWidget* parent = nullptr);

  QListWidget* lb_SearchHist;
  // A click on an entry: its text.
  std::function<void(const QString& entry)> OnEntryClick;

  void lb_SearchHistClick();
  void lb_SearchHistDblClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  bool centred_ = false;
};

#include "dialogs/searchhist.h"

#include <QGuiApplication>
#include <QListWidget>
#include <QScreen>
#include <QVBoxLayout>

TF_SearchHist::TF_SearchHist(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("F_SearchHist"));
  setWindowTitle(QStringLiteral("Address book"));
  lb_SearchHist = new QListWidget;
  lb_SearchHist->setObjectName(QStringLiteral("lb_SearchHist"));
  lb_SearchHist->setFrameShape(QFrame::NoFrame);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(lb_SearchHist);
  resize(167, 202);
  connect(lb_SearchHist, &QListWidget::itemClicked, this, [this] { lb_SearchHistClick(); });
  connect(lb_SearchHist, &QListWidget::itemDoubleClicked, this, [this] { lb_SearchHistDblClick(); });
}

void TF_SearchHist::lb_SearchHistClick() {
  QListWidgetItem* item = lb_SearchHist->currentItem();
  if (item && OnEntryClick) OnEntryClick(item->text());
}

void TF_SearchHist::lb_SearchHistDblClick() { close(); }

void TF_SearchHist::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (centred_) return;
  centred_ = true;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect r = frameGeometry();
    r.moveCenter(screen->availableGeometry().center());
    move(r.topLeft());
  }
}

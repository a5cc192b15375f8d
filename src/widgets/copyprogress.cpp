#include "widgets/copyprogress.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "widgets/fileoperation.h"
#include "widgets/qt_ui.h"

namespace widgets {

TCopyProgress::TCopyProgress(QWidget* parent, const QString& title, bool showNames)
    : QDialog(parent), showNames_(showNames) {
  setObjectName(QStringLiteral("TCopyProgress"));
  setWindowTitle(title);
  setWindowModality(Qt::ApplicationModal);
  setMinimumWidth(420);
  auto* layout = new QVBoxLayout(this);
  la_File = new QLabel(this);
  la_File->setObjectName(QStringLiteral("la_File"));
  la_File->setTextFormat(Qt::PlainText);
  la_Target = new QLabel(this);
  la_Target->setObjectName(QStringLiteral("la_Target"));
  la_Target->setTextFormat(Qt::PlainText);
  la_File->setVisible(showNames);
  la_Target->setVisible(showNames);
  pb_Progress = new QProgressBar(this);
  pb_Progress->setObjectName(QStringLiteral("pb_Progress"));
  pb_Progress->setRange(0, 1000);
  pb_Progress->setValue(0);
  bu_Cancel = new QPushButton(tr("&Cancel"), this);
  bu_Cancel->setObjectName(QStringLiteral("bu_Cancel"));
  connect(bu_Cancel, &QPushButton::clicked, this, [this] { cancelRequested_ = true; });
  layout->addWidget(la_File);
  layout->addWidget(la_Target);
  layout->addWidget(pb_Progress);
  layout->addWidget(bu_Cancel, 0, Qt::AlignRight);
}

void TCopyProgress::setProgress(const TFileOpProgress& p) {
  if (showNames_) {
    la_File->setText(qs(p.CurrentFile));
    la_Target->setText(p.Target.empty() ? QString() : tr("to %1").arg(qs(p.Target)));
  }
  // Bytes when there are any to copy, else entries.
  double part = p.BytesTotal > 0   ? static_cast<double>(p.BytesDone) / static_cast<double>(p.BytesTotal)
                : p.FilesTotal > 0 ? static_cast<double>(p.FilesDone) / static_cast<double>(p.FilesTotal)
                                   : 0.0;
  pb_Progress->setValue(static_cast<int>(std::min(part, 1.0) * 1000));
}

void TCopyProgress::reject() { cancelRequested_ = true; }

}  // namespace widgets

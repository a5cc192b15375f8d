#include "dialogs/about.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/routines.h"

#ifndef KV_VERSION
#error "KV_VERSION must be defined by the build"
#endif

TF_SPInfo::TF_SPInfo(QWidget* parent) : QDialog(parent), OpenAddress(platform::ShellOpen) {
  setObjectName(QStringLiteral("F_SPInfo"));
  setWindowTitle(QStringLiteral("About Kelvory"));

  la_Program = new QLabel(QStringLiteral("Kelvory '99"));
  la_Program->setObjectName(QStringLiteral("la_Program"));
  QFont big = la_Program->font();
  big.setPointSize(big.pointSize() + 6);
  big.setBold(true);
  la_Program->setFont(big);
  la_Version = new QLabel(QStringLiteral("Version %1").arg(QString::fromLatin1(Version())));
  la_Version->setObjectName(QStringLiteral("la_Version"));
  auto* blurb = new QLabel(QStringLiteral("An archive manager for ZIP and RAR archives."));

  bu_Ok = new QPushButton(QStringLiteral("OK"));
  bu_Ok->setObjectName(QStringLiteral("bu_Ok"));
  bu_Ok->setDefault(true);
  bu_HomePage = new QPushButton(QStringLiteral("&Home page"));
  bu_HomePage->setObjectName(QStringLiteral("bu_HomePage"));
  bu_HomePage->setToolTip(QString::fromLatin1(kHomePage));

  auto* layout = new QVBoxLayout(this);
  for (QLabel* l : {la_Program, la_Version, blurb}) {
    l->setAlignment(Qt::AlignCenter);
    layout->addWidget(l);
  }
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bu_HomePage);
  buttons->addWidget(bu_Ok);
  layout->addLayout(buttons);

  connect(bu_Ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(bu_HomePage, &QPushButton::clicked, this, [this] {
    if (OpenAddress) OpenAddress(kHomePage);
  });
}

const char* TF_SPInfo::Version() { return KV_VERSION; }

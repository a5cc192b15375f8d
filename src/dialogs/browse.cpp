#include "dialogs/browse.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialogrules.h"
#include "widgets/dirtree.h"
#include "widgets/qt_ui.h"

TF_Browse::TF_Browse(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("F_Browse"));
  setWindowTitle(QStringLiteral("Browse"));
  resize(300, 360);

  dirt = new widgets::TDirTree;
  dirt->setObjectName(QStringLiteral("dirt"));
  dirt->setGoBelowRecycleBin(true);
  bu_Ok = new QPushButton(QStringLiteral("&OK"));
  bu_Ok->setObjectName(QStringLiteral("bu_Ok"));
  bu_Ok->setDefault(true);
  bu_Close = new QPushButton(QStringLiteral("&Cancel"));
  bu_Close->setObjectName(QStringLiteral("bu_Close"));

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(dirt, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(bu_Ok);
  buttons->addWidget(bu_Close);
  layout->addLayout(buttons);
  connect(bu_Ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::reject);
  dialogs::EscapeClicks(*this, *bu_Close);
}

std::optional<std::string> TF_Browse::Folder() const {
  // "?" is the tree's answer when no folder is selected.
  const QString folder = dirt->Directory();
  if (folder.isEmpty() || folder == QStringLiteral("?")) return std::nullopt;
  return widgets::ss(folder);
}

void TF_Browse::SetFolder(const std::string& folder) {
  if (folder.empty()) return;
  dirt->setInitialDirectory(widgets::qs(folder));
  dirt->setDirectory(widgets::qs(folder));
}

#include "dialogs/info.h"

#include <sys/stat.h>

#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/dialogrules.h"
#include "platform/datetime.h"
#include "platform/paths.h"

TF_Info::TF_Info(const std::string& archivePath, std::int64_t uncompressed, QWidget* parent)
    : QDialog(parent), path_(archivePath), uncompressed_(uncompressed) {
  setObjectName(QStringLiteral("F_Info"));
  setWindowTitle(QStringLiteral("Archive properties"));
  auto* v = new QVBoxLayout(this);
  auto* title = new QLabel(QStringLiteral("Archive properties"));
  title->setObjectName(QStringLiteral("Panel1"));
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  v->addWidget(title);
  auto* form = new QFormLayout;
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QString::fromLatin1(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
  };
  la_Archive = label("la_Archive");
  la_Date = label("la_Date");
  la_Size = label("la_Size");
  la_Unc = label("la_Unc");
  form->addRow(QStringLiteral("Archive name:"), la_Archive);
  form->addRow(QStringLiteral("Date:"), la_Date);
  form->addRow(QStringLiteral("Size:"), la_Size);
  form->addRow(QStringLiteral("Uncompressed size:"), la_Unc);
  v->addLayout(form);
  bu_Close = new QPushButton(QStringLiteral("&Close"));
  bu_Close->setObjectName(QStringLiteral("bu_Close"));
  v->addWidget(bu_Close, 0, Qt::AlignRight);
  connect(bu_Close, &QPushButton::clicked, this, &QDialog::accept);
  dialogs::EscapeClicks(*this, *bu_Close);
  FormActivate();
}

void TF_Info::showEvent(QShowEvent* e) {
  QDialog::showEvent(e);
  FormActivate();
}

void TF_Info::FormActivate() {
  la_Archive->setText(QString::fromStdString(platform::fileNameOf(path_)));
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    platform::DateTime dt = platform::fromUnixTime(st.st_mtime);
    std::string format = platform::localeShortDateFormat() + " " + platform::localeShortTimeFormat();
    la_Date->setText(QString::fromStdString(platform::formatDateTime(format, dt)));
    la_Size->setText(QString::number(static_cast<long long>(st.st_size)));
  } else {
    la_Date->clear();
    la_Size->clear();
  }
  la_Unc->setText(QString::number(uncompressed_));
}

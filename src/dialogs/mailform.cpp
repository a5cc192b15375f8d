#include "dialogs/mailform.h"

#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "dialogs/attach.h"
#include "dialogs/mailhistory.h"
#include "dialogs/searchhist.h"
#include "mail/mailbox.h"
#include "platform/paths.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"
#include "widgets/routines_qt.h"

using platform::MsgKind;
using widgets::qs;
using widgets::ss;

namespace {

constexpr int kPathRole = Qt::UserRole + 1;

template <typename W>
W* named(W* w, const char* name) {
  w->setObjectName(QString::fromLatin1(name));
  return w;
}

void Warn(const std::string& text) { platform::ui().message(MsgKind::Warning, {}, text, platform::kOk); }

std::string Trimmed(const QLineEdit* e) { return ss(e->text().trimmed()); }

}  // namespace

TF_MailForm::TF_MailForm(const dialogs::TSettings& settings, std::vector<std::string>& attachments,
                         std::vector<std::string>& lines, const std::string& openArchive, QWidget* parent)
    : QDialog(parent), settings_(settings), attachments_(attachments), lines_(lines) {
  setObjectName(QStringLiteral("F_MailForm"));
  setWindowTitle(QStringLiteral("Mail archive"));

  pa_Caption = named(new QLabel(QStringLiteral("Mail archive")), "pa_Caption");
  QFont bold = pa_Caption->font();
  bold.setBold(true);
  bold.setPointSizeF(bold.pointSizeF() * 1.4);
  pa_Caption->setFont(bold);
  pa_Caption->setMargin(6);
  co_AttachedFiles = named(new QComboBox, "co_AttachedFiles");
  bu_Attach = named(new QToolButton, "bu_Attach");
  bu_Attach->setText(QStringLiteral("A"));
  bu_Attach->setToolTip(QStringLiteral("Attach files"));
  ed_Name = named(new QLineEdit, "ed_Name");
  bu_Adress = named(new QToolButton, "bu_Adress");
  bu_Adress->setText(QStringLiteral("?"));
  bu_Adress->setToolTip(QStringLiteral("Address book"));
  // The small buttons are clicked, never tabbed to: Enter goes from field to field.
  bu_Attach->setFocusPolicy(Qt::NoFocus);
  bu_Adress->setFocusPolicy(Qt::NoFocus);
  ed_Email = named(new QLineEdit, "ed_Email");
  ed_Subject = named(new QLineEdit, "ed_Subject");
  BitBtn1 = named(new QPushButton(QStringLiteral("&Send")), "BitBtn1");
  BitBtn1->setToolTip(QStringLiteral("Send mail"));
  BitBtn2 = named(new QPushButton(QStringLiteral("&Close")), "BitBtn2");
  BitBtn2->setToolTip(QStringLiteral("Cancel operation"));
  pb_Amazon = named(new QProgressBar, "pb_Amazon");
  pb_Amazon->setRange(0, 100);
  pb_Amazon->setTextVisible(false);
  pb_Amazon->hide();
  smtpStatus1 = named(new QStatusBar, "smtpStatus1");
  smtpStatus1->setSizeGripEnabled(false);

  auto* grid = new QGridLayout;
  auto row = [&](int r, const char* label, QWidget* field, QWidget* button) {
    auto* l = new QLabel(QString::fromUtf8(label));
    l->setBuddy(field);
    grid->addWidget(l, r, 0);
    grid->addWidget(field, r, 1);
    if (button) grid->addWidget(button, r, 2);
  };
  row(0, "Attached Archive(s)", co_AttachedFiles, bu_Attach);
  row(1, "Name", ed_Name, bu_Adress);
  row(2, "Email", ed_Email, nullptr);
  row(3, "Subject", ed_Subject, nullptr);
  grid->setColumnStretch(1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(pb_Amazon, 1);
  buttons->addStretch(0);
  buttons->addWidget(BitBtn1);
  buttons->addWidget(BitBtn2);
  auto* main = new QVBoxLayout(this);
  main->setContentsMargins(0, 0, 0, 0);
  main->addWidget(pa_Caption);
  auto* body = new QVBoxLayout;
  body->setContentsMargins(8, 4, 8, 4);
  body->addLayout(grid);
  body->addLayout(buttons);
  main->addLayout(body);
  main->addWidget(smtpStatus1);
  resize(420, 230);

  connect(BitBtn1, &QPushButton::clicked, this, &TF_MailForm::BitBtn1Click);
  connect(BitBtn2, &QPushButton::clicked, this, &TF_MailForm::BitBtn2Click);
  connect(bu_Adress, &QToolButton::clicked, this, &TF_MailForm::bu_AdressClick);
  connect(bu_Attach, &QToolButton::clicked, this, &TF_MailForm::bu_AttachClick);

  // The open archive joins the list once, however often the window is opened.
  if (!openArchive.empty() && std::find(attachments_.begin(), attachments_.end(), openArchive) == attachments_.end())
    attachments_.push_back(openArchive);
  ShowAttachments(attachments_, false);
}

TF_MailForm::~TF_MailForm() {
  if (F_SearchHist) delete F_SearchHist.data();
}

void TF_MailForm::ShowAttachments(const std::vector<std::string>& paths, bool namesOnly) {
  co_AttachedFiles->clear();
  for (const std::string& p : paths) {
    co_AttachedFiles->addItem(qs(namesOnly ? platform::fileNameOf(p) : p), qs(p));
    co_AttachedFiles->setItemData(co_AttachedFiles->count() - 1, qs(p), Qt::ToolTipRole);
  }
  if (co_AttachedFiles->count() > 0) co_AttachedFiles->setCurrentIndex(0);
}

std::vector<std::string> TF_MailForm::AttachedPaths() const {
  std::vector<std::string> out;
  for (int i = 0; i < co_AttachedFiles->count(); ++i) out.push_back(ss(co_AttachedFiles->itemData(i).toString()));
  return out;
}

void TF_MailForm::SetStatus(const std::string& text) { smtpStatus1->showMessage(qs(text)); }

bool TF_MailForm::CheckFields() {
  const dialogs::TSettings& s = settings_;
  if (s.ed_Server.empty()) return Warn("You must configure your mail settings first! (Smptp mailserver)"), false;
  if (s.ed_Port.empty()) return Warn("You must configure your mail settings first! (smtp Mailserver port)"), false;
  if (s.ed_Name.empty()) return Warn("You must configure your mail settings first! (Your name)"), false;
  if (s.ed_EMail.empty()) return Warn("You must configure your mail settings first. (Your email)!"), false;
  if (Trimmed(ed_Name).empty()) return Warn("You must enter a name first!"), false;
  if (Trimmed(ed_Email).empty()) return Warn("You must enter email first!"), false;
  // Addresses that could not be sent are refused here, before the address book
  // keeps them and before anything connects.
  std::string error = mail::AddressError("Email", Trimmed(ed_Email), true);
  if (error.empty()) error = mail::AddressError("Email address", s.ed_EMail, true);
  if (!error.empty()) return Warn(error), false;
  return true;
}

void TF_MailForm::BitBtn1Click() {
  if (!CheckFields()) return;
  const std::string name = Trimmed(ed_Name);
  const std::string address = Trimmed(ed_Email);
  std::string error;
  if (!dialogs::RecordMailHistory(dialogs::MailHistoryFile(), "<" + name + ">" + address, &error))
    platform::ui().message(MsgKind::Warning, {}, "Unable to write to " + dialogs::MailHistoryFile() + ": " + error,
                           platform::kOk);
  const QLocale locale = QLocale::system();
  lines_ = {"Archive sent by: " + settings_.ed_Name + " using Kelvory98",
            ss(locale.toString(QDateTime::currentDateTime(), QLocale::ShortFormat))};
  attachments_ = AttachedPaths();
  if (attachments_.empty()) {
    platform::ui().message(MsgKind::Information, {}, "You must attach archive first!", platform::kOk);
    return;
  }
  if (!OnSend) return;
  // One send at a time: the button comes back when this one has ended.
  BitBtn1->setEnabled(false);
  OnSend(name, address, attachments_, ss(ed_Subject->text()));
  BitBtn1->setEnabled(true);
}

void TF_MailForm::BitBtn2Click() { reject(); }

void TF_MailForm::bu_AdressClick() {
  if (!F_SearchHist) {
    F_SearchHist = new TF_SearchHist(this);
    F_SearchHist->setAttribute(Qt::WA_DeleteOnClose);
    F_SearchHist->OnEntryClick = [this](const QString& entry) { PickHistoryEntry(ss(entry)); };
  }
  F_SearchHist->lb_SearchHist->clear();
  for (const std::string& entry : dialogs::LoadMailHistory(dialogs::MailHistoryFile()))
    F_SearchHist->lb_SearchHist->addItem(qs(entry));
  F_SearchHist->show();
  F_SearchHist->raise();
}

void TF_MailForm::PickHistoryEntry(const std::string& entry) {
  dialogs::MailHistoryPick pick = dialogs::SplitMailHistoryEntry(entry);
  ed_Name->setText(qs(pick.Name));
  ed_Email->setText(qs(pick.Address));
}

void TF_MailForm::bu_AttachClick() {
  TF_Attach attach(this);
  attach.SetAttachments(AttachedPaths());
  if (widgets::runModal(attach, "TF_Attach") != QDialog::Accepted) return;
  ShowAttachments(attach.Attachments(), true);
  attachments_ = attach.Attachments();
}

void TF_MailForm::keyPressEvent(QKeyEvent* event) {
  int key = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ? 13 : 0;
  if (key == 13) {
    widgets::EnterAsTab(this, key);
    if (key == 0) return;
  }
  QDialog::keyPressEvent(event);
}

void TF_MailForm::reject() {
  if (OnClose) OnClose();
  if (F_SearchHist) F_SearchHist->close();
  QDialog::reject();
}

// The main window's mail command: the mail window, the send routine behind its
// "&Send", and the SMTP client's events, which write to the mail window's status bar
// and progress bar or ask the user.
#include <QProgressBar>
#include <ctime>

#include "app/mainunit.h"
#include "dialogs/mailform.h"
#include "mail/mimemessage.h"
#include "platform/pump.h"
#include "platform/ui.h"
#include "widgets/qt_ui.h"

using platform::MsgKind;
using platform::ui;

namespace {

// The program name the client sends as X-Mailer.
constexpr const char* kLocalProgram = "Tarn SMTP Demo";

// The port setting as a number, or nothing when it is not one from 1 to 65535.
std::optional<int> PortNumber(const std::string& text) {
  std::string t = QString::fromStdString(text).trimmed().toStdString();
  if (t.empty() || t.size() > 5) return std::nullopt;
  int port = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return std::nullopt;
    port = port * 10 + (c - '0');
  }
  if (port < 1 || port > 65535) return std::nullopt;
  return port;
}

}  // namespace

void TMainform::ConnectMailEvents() {
  auto status = [this](const std::string& text) {
    if (MailForm) MailForm->SetStatus(text);
  };
  smtp.ReportLevel = 0;
  smtp.EncodeType = uuMime;
  smtp.ClearParams = true;
  smtp.SubType = mtPlain;
  smtp.OnConnect = [this, status] { status("Connected to: " + Settings.ed_Server); };
  smtp.OnDisconnect = [status] { status("Disconnected"); };
  smtp.OnHostResolved = [status] { status("Host resolved"); };
  smtp.OnStatus = status;
  smtp.OnSendStart = [status] { status("Sending message"); };
  smtp.OnEncodeStart = [status](const std::string& file) { status("Encoding: " + file); };
  smtp.OnEncodeEnd = [status](const std::string& file) { status("Finished encoding: " + file); };
  smtp.OnFailure = [status] { status("Failure"); };
  smtp.OnPacketSent = [this] {
    if (!MailForm || smtp.BytesTotal == 0) return;
    // In thousandths: byte counts of large archives do not fit the bar's range.
    MailForm->pb_Amazon->setRange(0, 1000);
    MailForm->pb_Amazon->setValue(
        static_cast<int>(std::min<std::uint64_t>(smtp.BytesSent, smtp.BytesTotal) * 1000 / smtp.BytesTotal));
  };
  auto disconnect = [this] {
    try {
      smtp.Disconnect();
    } catch (const std::exception&) {
      // A refused QUIT after the message went out changes nothing for the user.
    }
  };
  smtp.OnSuccess = [disconnect] {
    ui().message(MsgKind::Information, {}, "Mail sent successfully!", platform::kOk);
    disconnect();
  };
  smtp.OnConnectionFailed = [this, disconnect] {
    MailStopped = true;
    ui().message(MsgKind::Error, {}, "Connection Failed, Disconnecting", platform::kOk);
    disconnect();
  };
  smtp.OnRecipientNotFound = [this, disconnect](const std::string& recipient) {
    MailStopped = true;
    ui().message(MsgKind::Error, {}, "Recipient \"" + recipient + "\" not found!, Disconnecting", platform::kOk);
    disconnect();
  };
  smtp.OnConnectionRequired = [this](bool& handled) {
    if (ui().message(MsgKind::Confirmation, {}, "Connection to smtp server Required. Connect?", platform::kOkCancel) !=
        platform::kBtnOk)
      return;
    handled = true;
    smtp.Connect();
  };
  smtp.OnInvalidHost = [this](bool& handled) {
    std::optional<std::string> host = ui().input("Invalid Host!", "Specify a new host:", "");
    if (!host) return;
    smtp.Host = *host;
    handled = true;
  };
  smtp.OnPasswordRequired = [this](std::string& password) {
    std::optional<std::string> answer =
        ui().password("Mail server password", "Password for " + smtp.UserName + " at " + smtp.Host + ":");
    if (!answer) return false;
    password = *answer;
    return true;
  };
}

void TMainform::Mailarchive1Click() {
  ConnectMailEvents();
  TF_MailForm form(Settings, MailAttachments, MailLines, RarMode ? std::string() : ZipEngine1.ZipFilename(), this);
  form.OnSend = [this](const std::string& name, const std::string& address, const std::vector<std::string>& attachments,
                       const std::string& subject) { SendArchiveMail(name, address, attachments, subject); };
  form.OnClose = [this] {
    try {
      smtp.Abort();
    } catch (const std::exception&) {
      // Closing while idle says QUIT; a refusal of it does not keep the window open.
    }
  };
  MailForm = &form;
  widgets::runModal(form, "TF_MailForm");
  MailForm = nullptr;
}

void TMainform::SendArchiveMail(const std::string& name, const std::string& address,
                                const std::vector<std::string>& attachments, const std::string& subject) {
  (void)name;  // the name goes to the address book only; the message carries the address alone
  if (ui().message(MsgKind::Confirmation, {}, "Are you connected to Internet?", platform::kYesNo) != platform::kBtnYes)
    return;
  auto progress = [this](bool on) {
    if (!MailForm) return;
    MailForm->pb_Amazon->setValue(0);
    MailForm->pb_Amazon->setVisible(on);
  };
  MailStopped = false;
  progress(true);
  if (MailForm) MailForm->SetStatus("Starting to send mail");
  std::optional<int> port = PortNumber(Settings.ed_Port);
  if (!port) {
    progress(false);
    ui().message(MsgKind::Error, {},
                 "The mail server port \"" + Settings.ed_Port + "\" is not a number from 1 to 65535", platform::kOk);
    return;
  }
  // A password given for one account is not offered to another.
  std::string server = QString::fromStdString(Settings.ed_Server).trimmed().toStdString();
  if (smtp.UserName != Settings.ed_User || smtp.Host != server) smtp.Password.clear();
  smtp.Host = server;
  smtp.Port = *port;
  smtp.UserName = Settings.ed_User;
  smtp.RequireTls = Settings.cb_RequireTls;
  try {
    smtp.Connect();
    platform::pumpEvents();
    TPostMessage& m = smtp.PostMessage;
    m.ToAddress.clear();
    m.FromAddress = Settings.ed_EMail;
    m.FromName = Settings.ed_Name;
    m.Subject = subject;
    m.ToAddress.push_back(address);
    m.Attachments = attachments;
    m.Body = MailLines;
    m.LocalProgram = kLocalProgram;
    m.Date = mail::MailDate(std::time(nullptr));
    if (MailForm) MailForm->SetStatus("Sending mail");
    progress(true);
    smtp.SendMail();
    progress(false);
  } catch (const std::exception& e) {
    progress(false);
    std::string text = e.what();
    if (const auto* sock = dynamic_cast<const ESockError*>(&e); sock && !sock->Detail().empty())
      text += " (" + sock->Detail() + ")";
    if (MailForm) MailForm->SetStatus(text);
    if (!MailStopped) ui().message(MsgKind::Error, {}, text, platform::kOk);
    // The next "&Send" connects afresh.
    try {
      smtp.Disconnect();
    } catch (const std::exception&) {}
  }
}

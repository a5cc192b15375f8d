#include "mail/tarnsmtp.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <ctime>

#include "mail/mailbox.h"

namespace {

constexpr int kFailure = 0;
constexpr int kStep = 4;
constexpr int kAction = 8;

// The text of a sign-in value as AUTH wants it: Base64 on one line.
std::string Base64(const std::string& text) {
  std::string lines;
  TTarnUUProcessor::EncodeBlocks(uuMime, std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()),
                                 lines);
  std::string out;
  for (char c : lines)
    if (c != '\r' && c != '\n') out.push_back(c);
  return out;
}

// The message as the socket's stream sender reads it.
class MessageSource : public TByteSource {
 public:
  explicit MessageSource(mail::TMimeMessage& m) : m_(m) {}
  std::size_t Read(char* buffer, std::size_t max) override { return m_.Read(buffer, max); }
  std::uint64_t Position() const override { return m_.Consumed(); }

 private:
  mail::TMimeMessage& m_;
};

}  // namespace

TTarnSMTP::TTarnSMTP() { Port = 25; }

std::vector<std::string> TTarnSMTP::ReadReply() {
  std::vector<std::string> lines;
  lines.push_back(ReadLn());
  while (mail::IsContinuationLine(lines.back())) {
    // A hostile server could go on for ever; a real reply is a few dozen lines.
    if (lines.size() >= 1000) throw ESmtpError("The server's reply has too many lines");
    lines.push_back(ReadLn());
  }
  SetReply(lines.back());
  ReportStatus(lines.back(), 1);
  return lines;
}

std::vector<std::string> TTarnSMTP::Command(const std::string& command) {
  std::string first = Transaction(command);
  std::vector<std::string> lines{first};
  while (mail::IsContinuationLine(lines.back())) {
    if (lines.size() >= 1000) throw ESmtpError("The server's reply has too many lines");
    lines.push_back(ReadLn());
  }
  if (lines.size() > 1) {
    SetReply(lines.back());
    ReportStatus(lines.back(), 1);
  }
  return lines;
}

void TTarnSMTP::Expect(const std::string& command, std::int64_t below) {
  Command(command);
  if (ReplyNumber() >= below) throw ESmtpError(TransactionReply());
}

std::string TTarnSMTP::HelloName() const {
  if (!UserID.empty()) return UserID;
  char name[HOST_NAME_MAX + 1] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  return name;
}

bool TTarnSMTP::Hello() {
  std::string name = HelloName();
  std::vector<std::string> lines = Command("EHLO " + name);
  if (ReplyNumber() >= 200 && ReplyNumber() < 300) {
    ehlo_ = true;
    ext_ = mail::ParseEhloReply(lines);
    return true;
  }
  // A server that does not know EHLO gets the older greeting.
  ehlo_ = false;
  ext_ = {};
  Command("HELO " + name);
  return ReplyNumber() >= 200 && ReplyNumber() < 300;
}

void TTarnSMTP::Secure() {
  const bool needTls = RequireTls || !UserName.empty();
  if (ehlo_ && ext_.StartTls) {
    ReportStatus("Starting TLS", kStep);
    Command("STARTTLS");
    if (ReplyNumber() == 220) {
      StartTls(TrustFile);
      // The extensions said before the upgrade count no longer.
      std::vector<std::string> lines = Command("EHLO " + HelloName());
      if (ReplyNumber() < 200 || ReplyNumber() >= 300) throw ESmtpError(TransactionReply());
      ext_ = mail::ParseEhloReply(lines);
    } else if (needTls) {
      throw ESmtpError("The server refused to start a secure connection: " + TransactionReply());
    }
  }
  if (!TlsActive() && RequireTls)
    throw ESmtpError("The server offers no secure connection (STARTTLS), which the mail settings require");
  if (!TlsActive() && !UserName.empty())
    throw ESmtpError("The server offers no secure connection (STARTTLS); the password is never sent without one");
}

void TTarnSMTP::Authenticate() {
  if (!ext_.AuthPlain && !ext_.AuthLogin)
    throw ESmtpError("The server offers no sign-in this program knows (AUTH PLAIN or LOGIN)");
  if (Password.empty()) {
    std::string password;
    if (!OnPasswordRequired || !OnPasswordRequired(password) || password.empty()) {
      ReportStatus("Authentication failed", kFailure);
      throw ESmtpError("Authentication failed: no password given");
    }
    Password = password;
  }
  ReportStatus("Signing in", kStep);
  if (ext_.AuthPlain) {
    Command("AUTH PLAIN " + Base64(std::string(1, '\0') + UserName + std::string(1, '\0') + Password));
  } else {
    Command("AUTH LOGIN");
    if (ReplyNumber() == 334) Command(Base64(UserName));
    if (ReplyNumber() == 334) Command(Base64(Password));
  }
  if (ReplyNumber() < 200 || ReplyNumber() >= 300) {
    Password.clear();
    ReportStatus("Authentication failed", kFailure);
    throw ESmtpError("Authentication failed: " + TransactionReply());
  }
}

void TTarnSMTP::Connect() {
  BusyScope busy(*this);
  if (!sending_) ClearCancel();
  SocketConnect();
  try {
    ReadReply();
    if (ReplyNumber() > 399) throw ESmtpError(TransactionReply());
    bool asked = false;
    while (!Hello()) {
      if (!asked && OnAuthenticationFailed) {
        asked = true;
        bool handled = false;
        OnAuthenticationFailed(handled);
        if (handled) continue;
      }
      ReportStatus("Authentication failed", kFailure);
      throw ESmtpError("Authentication failed");
    }
    Secure();
    if (!UserName.empty()) Authenticate();
  } catch (...) {
    TTarnSocket::Disconnect();
    throw;
  }
  if (OnConnect) OnConnect();
}

void TTarnSMTP::CheckAddresses() const {
  const TPostMessage& m = PostMessage;
  std::string error = mail::AddressError("From", m.FromAddress, true);
  const std::pair<const char*, const std::vector<std::string>*> lists[] = {
      {"To", &m.ToAddress}, {"CC", &m.ToCarbonCopy}, {"BCC", &m.ToBlindCarbonCopy}};
  for (const auto& [field, list] : lists)
    for (const std::string& address : *list)
      if (error.empty()) error = mail::AddressError(field, address, false);
  if (error.empty() && !m.ReplyTo.empty()) error = mail::AddressError("Reply-To", m.ReplyTo, false);
  if (!error.empty()) throw ESmtpError(error);
}

void TTarnSMTP::CheckAbort() {
  if (!Cancelled()) return;
  ReportStatus("Socket send aborted", kFailure);
  throw EAbortError("Socket send aborted");
}

void TTarnSMTP::SendMail() {
  if (sending_) return;
  sending_ = true;
  bool sent = false;
  {
    BusyScope busy(*this);
    // Whatever happens, the client is idle again afterwards and, with ClearParams,
    // the next message starts empty.
    struct Finish {
      TTarnSMTP& s;
      ~Finish() {
        s.sending_ = false;
        if (s.ClearParams) {
          s.PostMessage.ToAddress.clear();
          s.PostMessage.ToCarbonCopy.clear();
          s.PostMessage.ToBlindCarbonCopy.clear();
          s.PostMessage.Body.clear();
          s.PostMessage.Attachments.clear();
        }
      }
    } finish{*this};

    bool asked = false;
    while (!Connected()) {
      if (!asked && OnConnectionRequired) {
        asked = true;
        bool handled = false;
        OnConnectionRequired(handled);
        if (handled) continue;
      }
      ReportStatus("Not Connected", kFailure);
      throw ESockError("Not Connected");
    }

    asked = false;
    for (;;) {
      const TPostMessage& m = PostMessage;
      int hiType = m.FromAddress.empty()                                                          ? 1
                   : m.ToAddress.empty() && m.ToCarbonCopy.empty() && m.ToBlindCarbonCopy.empty() ? 2
                                                                                                  : 0;
      if (hiType == 0) break;
      if (!asked && OnHeaderIncomplete) {
        asked = true;
        bool handled = false;
        OnHeaderIncomplete(handled, hiType);
        if (handled) continue;
      }
      ReportStatus("Incomplete Header", kFailure);
      throw ESmtpError("Incomplete Header");
    }
    CheckAddresses();

    std::unique_ptr<mail::TMimeMessage> message;
    try {
      message = std::make_unique<mail::TMimeMessage>(PostMessage, EncodeType, SubType,
                                                     mail::MakeBoundary(std::time(nullptr)));
    } catch (const mail::EAttachmentError& e) {
      if (OnAttachmentNotFound) OnAttachmentNotFound(e.Path);
      throw;
    }
    FinalHeader = message->Header();
    message->OnEncodeStart = [this](const std::string& path) {
      ReportStatus("SendFile", kAction);
      if (OnEncodeStart) OnEncodeStart(path);
    };
    message->OnEncodeEnd = [this](const std::string& path) {
      if (OnEncodeEnd) OnEncodeEnd(path);
    };

    if (OnSendStart) OnSendStart();
    ClearCancel();
    bool inData = false;
    try {
      Expect("RSET", 400);
      CheckAbort();
      Expect("MAIL FROM:<" + PostMessage.FromAddress + ">", 400);
      for (const auto* list : {&PostMessage.ToAddress, &PostMessage.ToCarbonCopy, &PostMessage.ToBlindCarbonCopy}) {
        for (const std::string& address : *list) {
          std::string mailbox = mail::ExtractMailbox(address);
          if (mailbox.empty()) continue;
          CheckAbort();
          Command("RCPT TO:<" + mailbox + ">");
          if (ReplyNumber() > 300) {
            if (OnRecipientNotFound) OnRecipientNotFound(address);
          } else if (OnMailListReturn) {
            OnMailListReturn(mailbox);
          }
        }
      }
      CheckAbort();
      Expect("DATA", 400);
      inData = true;
      BytesTotal = message->TotalSize();
      BytesSent = 0;
      MessageSource source(*message);
      SendStream(source);
      inData = false;
      Command(".");
      if (ReplyNumber() > 399) {
        if (OnFailure) OnFailure();
        throw ESmtpError(TransactionReply());
      }
      sent = true;
    } catch (const ESmtpError&) {
      // The server refused a command: the dialogue is in order and the connection
      // stays. Anything else leaves it in an unknown state (a message cut off in
      // the middle must never be completed by a later "."), so it is closed.
      if (inData) TTarnSocket::Disconnect();
      throw;
    } catch (...) {
      TTarnSocket::Disconnect();
      throw;
    }
  }
  if (sent && OnSuccess) OnSuccess();
}

void TTarnSMTP::Disconnect() {
  if (!Connected()) return;
  if (Waiting()) {
    Cancel();
    return;
  }
  BusyScope busy(*this);
  // A server that takes QUIT but does not answer keeps us only briefly.
  struct Restore {
    int& t;
    int old;
    ~Restore() { t = old; }
  } restore{ReplyTimeOut, ReplyTimeOut};
  ReplyTimeOut = std::min(ReplyTimeOut, 10000);
  try {
    Command("QUIT");
  } catch (const std::exception&) {
    // The connection is gone or the server does not answer: close it anyway.
    TTarnSocket::Disconnect();
    return;
  }
  bool refused = ReplyNumber() >= 340;
  TTarnSocket::Disconnect();
  if (refused) throw ESmtpError(TransactionReply());
}

void TTarnSMTP::Abort() {
  if (Busy() || sending_) {
    Cancel();
    return;
  }
  if (Connected() && !Cancelled()) Disconnect();
}

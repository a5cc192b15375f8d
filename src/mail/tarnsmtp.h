// TTarnSMTP: the SMTP client. It connects to a mail server, says who it is, upgrades
// the connection to TLS when the server offers STARTTLS (with the certificate
// checked), signs in with AUTH PLAIN or LOGIN when a user name is set, and sends
// the message described by PostMessage: MAIL FROM, one RCPT TO per recipient, DATA
// with the MIME text built by TMimeMessage (attachments streamed from disk) and the
// closing ".".
//
// Runs on the user-interface thread and keeps the window alive through the pump
// hook (see TTarnSocket). Failures are exceptions: ESmtpError carries the server's
// reply line for a refused command, or one of the client's own texts; ESockError
// and EAbortError come from the connection. A refused recipient only raises
// OnRecipientNotFound; the send goes on.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "mail/mimemessage.h"
#include "mail/postmessage.h"
#include "mail/smtpreply.h"
#include "mail/tarnsocket.h"
#include "mail/tarnuuprocessor.h"

class ESmtpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TTarnSMTP : public TTarnSocket {
 public:
  TTarnSMTP();

  // ---- published ------------------------------------------------------------------
  std::string UserID;  // the name given in EHLO/HELO; empty: this machine's name
  TPostMessage PostMessage;
  // The header lines built for the last message.
  std::vector<std::string> FinalHeader;
  TUUMethod EncodeType = uuMime;
  // After each send: empty the recipient lists, Body and Attachments of PostMessage.
  bool ClearParams = true;
  TSubType SubType = mtPlain;

  // ---- secure connection -------------------------------------------------------------
  // Sign in with this name (after TLS only). Empty: no sign-in.
  std::string UserName;
  // The password for UserName, kept in memory only; asked for through
  // OnPasswordRequired when empty, and emptied when the server refuses it.
  std::string Password;
  // Refuse to go on without TLS.
  bool RequireTls = false;
  // A PEM file of further trusted certificates, or empty (the system's store only).
  std::string TrustFile;

  // ---- events ------------------------------------------------------------------------
  std::function<void(bool& Handled)> OnConnectionRequired;  // SendMail without a connection
  std::function<void(const std::string& Recipient)> OnRecipientNotFound;
  std::function<void(bool& handled, int hiType)> OnHeaderIncomplete;  // hiType 1: no sender, 2: no recipient
  std::function<void()> OnSendStart;
  std::function<void()> OnSuccess;
  std::function<void()> OnFailure;  // the server refused the finished message
  std::function<void(const std::string& Filename)> OnEncodeStart;
  std::function<void(const std::string& Filename)> OnEncodeEnd;
  std::function<void(const std::string& MailAddress)> OnMailListReturn;  // a recipient the server accepted
  std::function<void(const std::string& Filename)> OnAttachmentNotFound;
  std::function<void(bool& Handled)> OnAuthenticationFailed;  // the server refused our name in HELO
  // Asks for the password of UserName; false when the user gave none.
  std::function<bool(std::string& Password)> OnPasswordRequired;

  // ---- operations --------------------------------------------------------------------
  // Connects to Host:Port, reads the greeting, says EHLO (HELO when the server does
  // not know EHLO), upgrades to TLS and signs in as described above, then raises
  // OnConnect. On failure the connection is closed again.
  void Connect();
  // Sends PostMessage. Returns at once, doing nothing, while a send runs.
  void SendMail();
  // Says QUIT and closes the connection (nothing when not connected). A refused
  // QUIT (reply 340 or more) raises its reply line after closing.
  void Disconnect();
  // Idle and connected: disconnects. Busy: stops the running connect, lookup, wait
  // or send as soon as it polls.
  void Abort();

  bool Sending() const { return sending_; }
  // The extensions the server announced in its last EHLO reply.
  const mail::TSmtpExtensions& Extensions() const { return ext_; }

 private:
  // Reads a whole reply (continuation lines too); the last line becomes the reply.
  std::vector<std::string> ReadReply();
  // A command and its whole reply.
  std::vector<std::string> Command(const std::string& command);
  // Refused command: raises the reply line.
  void Expect(const std::string& command, std::int64_t below);
  bool Hello();
  void Secure();
  void Authenticate();
  void CheckAddresses() const;
  void CheckAbort();
  std::string HelloName() const;

  bool sending_ = false;
  bool ehlo_ = false;
  mail::TSmtpExtensions ext_;
};

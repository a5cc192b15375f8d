// TPostMessage: one message for the SMTP client, the sender, the recipients, the
// text and the files to attach.
#pragma once

#include <string>
#include <vector>

struct TPostMessage {
  std::string FromAddress;
  std::string FromName;
  // Each entry an address as written: "ann@example.org" or "Ann Lee <ann@example.org>".
  std::vector<std::string> ToAddress;
  std::vector<std::string> ToCarbonCopy;
  std::vector<std::string> ToBlindCarbonCopy;  // never shown in the header
  std::vector<std::string> Body;               // the text, one line per entry
  std::vector<std::string> Attachments;        // full paths of the files to attach
  std::string Subject;
  std::string LocalProgram;  // sent as the X-Mailer header
  std::string Date;          // sent only when not empty
  std::string ReplyTo;       // sent only when not empty
};

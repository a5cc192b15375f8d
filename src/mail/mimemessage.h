// TMimeMessage: the text of one message as it goes out in the SMTP DATA phase: the
// header lines, then the body, and with attachments a multipart/mixed message whose
// parts carry the encoded files.
//
// Attachments are opened when the message is made (so a missing file fails before
// anything is sent) and read, encoded and handed out piece by piece while the
// message is sent: a large archive is never held in memory. The text handed out is
// already dot-stuffed (a line starting with "." gets another "." in front), so the
// caller only appends the closing "." line.
//
// Header values never break the header: line breaks in a subject or name are folded
// into continuation lines, other control characters become blanks, text outside
// ASCII is sent as encoded words, and a display name with special characters is
// quoted. Addresses are not changed here; the client refuses bad ones before it
// builds a message.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "mail/postmessage.h"
#include "mail/tarnuuprocessor.h"

enum TSubType { mtPlain, mtEnriched, mtSgml, mtTabSeperated, mtHtml };

namespace mail {

// An attachment that cannot be opened or read.
class EAttachmentError : public std::runtime_error {
 public:
  EAttachmentError(std::string path, const std::string& text) : std::runtime_error(text), Path(std::move(path)) {}
  std::string Path;
};

// "====================54535" + the time of day (hh:mm:ss) + "====".
std::string MakeBoundary(std::time_t now);

// The date and time in the form mail headers use: "Tue, 04 Jun 2024 14:03:27 +0200".
std::string MailDate(std::time_t now);

// A header value made safe, as described above.
std::string HeaderValue(std::string_view value);
// A display name ready to stand before "<address>".
std::string DisplayName(std::string_view name);
// A file name ready to stand between the double quotes of name="..." (no quotes).
std::string QuotedFileName(std::string_view name);

class TMimeMessage {
 public:
  // Builds the header and opens every attachment of msg. boundary is used when there
  // are attachments. Throws EAttachmentError for an attachment that cannot be opened.
  TMimeMessage(const TPostMessage& msg, TUUMethod method, TSubType subType, const std::string& boundary);
  ~TMimeMessage();
  TMimeMessage(const TMimeMessage&) = delete;
  TMimeMessage& operator=(const TMimeMessage&) = delete;

  // The header lines (a folded line holds its CR LF and continuation).
  const std::vector<std::string>& Header() const { return header_; }
  // Bytes of the whole message before dot-stuffing: the header lines with their
  // CR LF, the blank lines after them and the body.
  std::uint64_t TotalSize() const { return total_; }
  // Bytes of the message handed out so far (before dot-stuffing).
  std::uint64_t Consumed() const { return consumed_; }

  // Hands out the next piece of the dot-stuffed message, at most max bytes; 0 at
  // the end. Throws EAttachmentError when an attachment cannot be read.
  std::size_t Read(char* buffer, std::size_t max);

  // An attachment starts or ends being encoded (its full path).
  std::function<void(const std::string&)> OnEncodeStart;
  std::function<void(const std::string&)> OnEncodeEnd;

 private:
  struct Part {
    std::string Text;  // text, or for a file the path
    int Fd = -1;       // an open attachment, else -1
    std::uint64_t Size = 0;
  };
  void AddText(std::string text);
  void AddFile(const std::string& path);
  bool Refill();

  TUUMethod method_;
  std::vector<std::string> header_;
  std::vector<Part> parts_;
  std::size_t next_ = 0;  // the next part to hand out
  bool inFile_ = false;   // the current part is a file being encoded
  std::string raw_;       // text waiting to be handed out
  std::size_t rawPos_ = 0;
  bool lineStart_ = true;  // the next byte handed out starts a line
  std::uint64_t total_ = 0;
  std::uint64_t consumed_ = 0;
  std::vector<unsigned char> block_;
};

}  // namespace mail

// Reading SMTP server replies: splitting the received bytes into lines, the reply
// number of a line, the continuation rule of multi-line replies and the keywords a
// server announces in its EHLO reply.
//
// Every function here takes text straight from the network, so each one accepts any
// bytes: overlong lines, missing digits, binary noise and truncated replies give a
// clear result, never an out-of-bounds read or an unbounded allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mail {

// The reply number of a line: its leading decimal digits (at most 10 characters,
// stopping at the first non-digit) as a number; 0 when the line has no leading digit.
std::int64_t ReplyNumberOf(std::string_view line);

// True when another line of the same reply follows this one: the line starts with a
// blank or its fourth character is "-" ("250-SIZE 1000").
bool IsContinuationLine(std::string_view line);

// Collects received bytes and hands out complete lines without their CR LF (a bare
// LF also ends a line). A line longer than the limit is an error: Overflowed() turns
// true and the buffer keeps nothing more, so a hostile peer cannot make it grow.
class TReplyLineBuffer {
 public:
  static constexpr std::size_t kDefaultLimit = 8192;
  explicit TReplyLineBuffer(std::size_t limit = kDefaultLimit) : limit_(limit) {}

  void Append(std::string_view bytes);
  // The next complete line, or nothing when none is complete yet.
  std::optional<std::string> NextLine();
  bool Overflowed() const { return overflowed_; }
  // Bytes received but not yet handed out as a line.
  std::size_t Pending() const { return data_.size() - start_; }
  void Clear();

 private:
  std::string data_;
  std::size_t start_ = 0;
  std::size_t limit_;
  bool overflowed_ = false;
};

// What a server announced in the lines of its EHLO reply (the first line is its
// greeting and names no extension).
struct TSmtpExtensions {
  bool StartTls = false;
  bool AuthPlain = false;
  bool AuthLogin = false;
  std::optional<std::uint64_t> Size;  // SIZE with a limit; 0 means "no fixed limit"
};

// Reads the keywords of an EHLO reply. Lines need not carry the reply number:
// "250-AUTH PLAIN LOGIN" and "AUTH PLAIN LOGIN" are read alike. Keywords are
// compared without regard to letter case; unknown ones are ignored.
TSmtpExtensions ParseEhloReply(const std::vector<std::string>& lines);

}  // namespace mail

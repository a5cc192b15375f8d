#include "mail/smtpreply.h"

#include <algorithm>
#include <cctype>

namespace mail {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Splits a line into blank-separated words.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

std::int64_t ReplyNumberOf(std::string_view line) {
  std::int64_t n = 0;
  for (std::size_t i = 0; i < line.size() && i < 10 && IsDigit(line[i]); ++i) n = n * 10 + (line[i] - '0');
  return n;
}

bool IsContinuationLine(std::string_view line) {
  if (line.empty()) return false;
  return line[0] == ' ' || (line.size() >= 4 && line[3] == '-');
}

void TReplyLineBuffer::Append(std::string_view bytes) {
  if (overflowed_) return;
  if (start_ > 0 && start_ == data_.size()) {
    data_.clear();
    start_ = 0;
  }
  data_.append(bytes);
  // Only the part after the last complete line counts against the limit.
  std::size_t lastLf = data_.rfind('\n');
  std::size_t tailStart = lastLf == std::string::npos ? start_ : std::max(start_, lastLf + 1);
  if (data_.size() - tailStart > limit_) overflowed_ = true;
  // Each complete line must fit too.
  for (std::size_t pos = start_; !overflowed_ && pos < tailStart;) {
    std::size_t lf = data_.find('\n', pos);
    if (lf - pos > limit_) overflowed_ = true;
    pos = lf + 1;
  }
  if (overflowed_) Clear(), overflowed_ = true;
}

std::optional<std::string> TReplyLineBuffer::NextLine() {
  std::size_t lf = data_.find('\n', start_);
  if (lf == std::string::npos) return std::nullopt;
  std::size_t end = lf;
  if (end > start_ && data_[end - 1] == '\r') --end;
  std::string line = data_.substr(start_, end - start_);
  start_ = lf + 1;
  if (start_ > 65536 && start_ * 2 > data_.size()) {
    data_.erase(0, start_);
    start_ = 0;
  }
  return line;
}

void TReplyLineBuffer::Clear() {
  data_.clear();
  start_ = 0;
  overflowed_ = false;
}

TSmtpExtensions ParseEhloReply(const std::vector<std::string>& lines) {
  TSmtpExtensions ext;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    // Drop the reply number and its separator ("250-" or "250 ").
    if (line.size() >= 4 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]) &&
        (line[3] == '-' || line[3] == ' '))
      line.remove_prefix(4);
    auto words = Words(line);
    if (words.empty()) continue;
    std::string keyword = Upper(words[0]);
    if (keyword == "STARTTLS") {
      ext.StartTls = true;
    } else if (keyword == "AUTH" || keyword.rfind("AUTH=", 0) == 0) {
      // "AUTH PLAIN LOGIN", or the old form "AUTH=LOGIN PLAIN".
      std::vector<std::string> mechs;
      if (keyword.size() > 5) mechs.push_back(keyword.substr(5));
      for (std::size_t w = 1; w < words.size(); ++w) mechs.push_back(Upper(words[w]));
      for (const std::string& mech : mechs) {
        if (mech == "PLAIN") ext.AuthPlain = true;
        if (mech == "LOGIN") ext.AuthLogin = true;
      }
    } else if (keyword == "SIZE") {
      std::uint64_t limit = 0;
      bool ok = true;
      if (words.size() >= 2) {
        std::string_view digits = words[1];
        if (digits.empty() || digits.size() > 18) ok = false;
        for (char c : digits) {
          if (!IsDigit(c)) ok = false;
          if (ok) limit = limit * 10 + static_cast<std::uint64_t>(c - '0');
        }
      }
      if (ok) ext.Size = limit;
    }
  }
  return ext;
}

}  // namespace mail

#include "mail/mimemessage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/paths.h"

namespace mail {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// Longest header line the mail format allows, without its CR LF.
constexpr std::size_t kMaxLine = 998;
// Input bytes of one encoded word (60 characters of Base64).
constexpr std::size_t kWordBytes = 45;

bool IsBreak(char c) { return c == '\r' || c == '\n'; }
bool IsBlank(char c) { return c == ' ' || c == '\t'; }

bool HasNonAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  return false;
}

// Control characters other than tab and line breaks become blanks.
std::string WithoutControls(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    unsigned char u = static_cast<unsigned char>(c);
    if ((u < 32 && c != '\t' && !IsBreak(c)) || u == 127) c = ' ';
  }
  return out;
}

// Every run of line breaks and blanks that holds a line break becomes one blank.
std::string JoinLines(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size();) {
    if (IsBreak(s[i]) || IsBlank(s[i])) {
      std::size_t j = i;
      bool brk = false;
      while (j < s.size() && (IsBreak(s[j]) || IsBlank(s[j]))) brk |= IsBreak(s[j++]);
      if (brk)
        out.push_back(' ');
      else
        out.append(s.substr(i, j - i));
      i = j;
    } else {
      out.push_back(s[i++]);
    }
  }
  return out;
}

std::string_view TrimBreaks(std::string_view s) {
  while (!s.empty() && (IsBreak(s.front()) || IsBlank(s.front()))) s.remove_prefix(1);
  while (!s.empty() && (IsBreak(s.back()) || IsBlank(s.back()))) s.remove_suffix(1);
  return s;
}

// The text as encoded words of UTF-8 in Base64, each at most 45 bytes of input
// (a UTF-8 sequence is never split), joined by folding.
std::string EncodedWords(std::string_view s) {
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t n = std::min(kWordBytes, s.size() - i);
    // Step back over continuation bytes so the next word starts a character.
    while (n > 1 && i + n < s.size() && (static_cast<unsigned char>(s[i + n]) & 0xC0) == 0x80) --n;
    std::string b64;
    TTarnUUProcessor::EncodeBlocks(uuMime, std::span(reinterpret_cast<const unsigned char*>(s.data() + i), n), b64);
    b64.resize(b64.size() - 2);  // the CR LF of the line
    if (!out.empty()) out.append("\r\n ");
    out.append("=?UTF-8?B?").append(b64).append("?=");
    i += n;
  }
  return out;
}

// Folds a header line longer than the format allows at its last blank before the
// limit (or, with no blank there, inserts one).
std::string FoldLong(std::string line) {
  std::size_t lineStart = 0;
  for (;;) {
    std::size_t end = line.find("\r\n", lineStart);
    std::size_t len = (end == std::string::npos ? line.size() : end) - lineStart;
    if (len > kMaxLine) {
      std::size_t cut = line.find_last_of(" \t", lineStart + kMaxLine);
      if (cut == std::string::npos || cut <= lineStart + 1) {
        cut = lineStart + kMaxLine - 1;
        line.insert(cut, "\r\n ");
      } else {
        line.insert(cut, "\r\n");
      }
      lineStart = cut + 2;
      continue;
    }
    if (end == std::string::npos) return line;
    lineStart = end + 2;
  }
}

// Splits body text into lines at CR LF, CR or LF.
void AppendBodyLines(const std::string& entry, std::string& out) {
  std::size_t i = 0;
  for (;;) {
    std::size_t brk = entry.find_first_of("\r\n", i);
    out.append(entry, i, brk == std::string::npos ? std::string::npos : brk - i);
    out.append(kCrLf);
    if (brk == std::string::npos) return;
    i = brk + 1;
    if (entry[brk] == '\r' && i < entry.size() && entry[i] == '\n') ++i;
    if (i >= entry.size()) return;
  }
}

const char* SubTypeName(TSubType t) {
  switch (t) {
    case mtEnriched: return "enriched";
    case mtSgml: return "sgml";
    case mtTabSeperated: return "tab-separated-values";
    case mtHtml: return "html";
    case mtPlain: break;
  }
  return "plain";
}

std::string TextContentType(TSubType subType, bool utf8) {
  std::string line = std::string("Content-Type: text/") + SubTypeName(subType) + ";                        charset=";
  return line + (utf8 ? "utf-8" : "us-ascii");
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& s : items) {
    if (!out.empty()) out.push_back(',');
    out += s;
  }
  return out;
}

}  // namespace

std::string MakeBoundary(std::time_t now) {
  std::tm tm{};
  localtime_r(&now, &tm);
  char time[16];
  std::strftime(time, sizeof time, "%H:%M:%S", &tm);
  return std::string("====================54535") + time + "====";
}

std::string MailDate(std::time_t now) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&now, &tm);
  long offset = tm.tm_gmtoff / 60;
  char sign = offset < 0 ? '-' : '+';
  if (offset < 0) offset = -offset;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld", kDays[tm.tm_wday % 7], tm.tm_mday,
                kMonths[tm.tm_mon % 12], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, sign, offset / 60,
                offset % 60);
  return buf;
}

std::string HeaderValue(std::string_view value) {
  std::string text = WithoutControls(TrimBreaks(value));
  if (HasNonAscii(text)) return EncodedWords(JoinLines(text));
  // Fold at each line break: the break and the blanks around it become CR LF and
  // one blank, so the value stays one header line.
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (IsBreak(text[i]) || IsBlank(text[i])) {
      std::size_t j = i;
      bool brk = false;
      while (j < text.size() && (IsBreak(text[j]) || IsBlank(text[j]))) brk |= IsBreak(text[j++]);
      if (brk)
        out.append("\r\n ");
      else
        out.append(text, i, j - i);
      i = j;
    } else {
      out.push_back(text[i++]);
    }
  }
  return out;
}

std::string DisplayName(std::string_view name) {
  std::string text = JoinLines(WithoutControls(TrimBreaks(name)));
  if (HasNonAscii(text)) return EncodedWords(text);
  if (text.find_first_of("()<>[]:;@\\,\"") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string QuotedFileName(std::string_view name) {
  std::string text = JoinLines(WithoutControls(name));
  if (HasNonAscii(text)) return EncodedWords(text);
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

TMimeMessage::TMimeMessage(const TPostMessage& msg, TUUMethod method, TSubType subType, const std::string& boundary)
    : method_(method) {
  bool attach = !msg.Attachments.empty();
  std::string bodyText;
  for (const std::string& line : msg.Body) AppendBodyLines(line, bodyText);
  bool utf8 = HasNonAscii(bodyText);

  auto& h = header_;
  h.push_back("From: " + DisplayName(msg.FromName) + "<" + msg.FromAddress + ">");
  if (!msg.ToAddress.empty()) h.push_back("To: " + Join(msg.ToAddress));
  if (!msg.ToCarbonCopy.empty()) h.push_back("CC: " + Join(msg.ToCarbonCopy));
  const std::pair<const char*, const std::string*> named[] = {
      {"Subject", &msg.Subject}, {"X-Mailer", &msg.LocalProgram}, {"Reply-To", &msg.ReplyTo}, {"Date", &msg.Date}};
  for (const auto& [name, value] : named) {
    std::string v = HeaderValue(*value);
    if (!v.empty()) h.push_back(std::string(name) + ": " + v);
  }
  h.push_back("Mime-Version: 1.0");
  if (attach) {
    h.push_back("Content-Type: multipart/mixed;                   boundary=\"" + boundary + "\"");
  } else {
    h.push_back(TextContentType(subType, utf8));
    if (utf8) h.push_back("Content-Transfer-Encoding: 8bit");
  }
  for (std::string& line : h) line = FoldLong(std::move(line));

  std::string head;
  for (const std::string& line : h) head.append(line).append(kCrLf);
  head.append("\r\n\r\n");
  AddText(std::move(head));

  if (!attach) {
    AddText(std::move(bodyText));
    return;
  }
  std::string text = "--" + boundary + "\r\n" + TextContentType(subType, utf8) + "\r\n";
  if (utf8) text += "Content-Transfer-Encoding: 8bit\r\n";
  AddText(text + "\r\n" + bodyText);
  const char* encoding = method == uuMime ? "base64" : "x-uuencode";
  try {
    for (const std::string& path : msg.Attachments) {
      std::string name = QuotedFileName(platform::fileNameOf(path));
      AddText("--" + boundary + "\r\n" + "Content-Type: application/octet-stream;          name=\"" + name + "\"\r\n" +
              "Content-Transfer-Encoding: " + encoding + "\r\n" +
              "Content-Disposition: attachment;                 filename=\"" + name + "\"\r\n" + "\r\n");
      AddFile(path);
    }
  } catch (...) {
    for (Part& p : parts_)
      if (p.Fd >= 0) ::close(p.Fd);
    throw;
  }
  AddText("--" + boundary + "--\r\n");
}

TMimeMessage::~TMimeMessage() {
  for (Part& p : parts_)
    if (p.Fd >= 0) ::close(p.Fd);
}

void TMimeMessage::AddText(std::string text) {
  total_ += text.size();
  parts_.push_back(Part{std::move(text), -1, 0});
}

void TMimeMessage::AddFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw EAttachmentError(path, "Cannot open file \"" + path + "\": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw EAttachmentError(path, "Cannot open file \"" + path + "\": not a regular file");
  }
  Part p{path, fd, static_cast<std::uint64_t>(st.st_size)};
  total_ += TTarnUUProcessor::EncodedSize(method_, p.Size);
  parts_.push_back(std::move(p));
}

// Puts the next piece of the message into raw_; false at the end.
bool TMimeMessage::Refill() {
  raw_.clear();
  rawPos_ = 0;
  while (raw_.empty() && next_ < parts_.size()) {
    Part& part = parts_[next_];
    if (part.Fd < 0) {
      raw_ = std::move(part.Text);
      ++next_;
      continue;
    }
    if (!inFile_) {
      inFile_ = true;
      if (OnEncodeStart) OnEncodeStart(part.Text);
    }
    // Read whole blocks of 45 bytes, so only the file's last line is short.
    if (block_.empty()) block_.resize(TTarnUUProcessor::kBlockBytes * 1456);
    std::size_t have = 0;
    bool end = false;
    while (have < block_.size()) {
      ssize_t got = ::read(part.Fd, block_.data() + have, block_.size() - have);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) throw EAttachmentError(part.Text, "Cannot read file \"" + part.Text + "\": " + std::strerror(errno));
      if (got == 0) {
        end = true;
        break;
      }
      have += static_cast<std::size_t>(got);
    }
    TTarnUUProcessor::EncodeBlocks(method_, std::span(block_.data(), have), raw_);
    if (end) {
      raw_.append(TTarnUUProcessor::EndText(method_));
      ::close(part.Fd);
      part.Fd = -1;
      inFile_ = false;
      ++next_;
      if (OnEncodeEnd) OnEncodeEnd(part.Text);
    }
  }
  return !raw_.empty();
}

std::size_t TMimeMessage::Read(char* buffer, std::size_t max) {
  std::size_t out = 0;
  while (out < max) {
    if (rawPos_ >= raw_.size() && !Refill()) break;
    // Copy up to the end of the current line; stuff a dot that starts a line.
    if (lineStart_ && raw_[rawPos_] == '.') {
      if (max - out < 2) break;
      buffer[out++] = '.';
    }
    const char* from = raw_.data() + rawPos_;
    std::size_t avail = std::min(raw_.size() - rawPos_, max - out);
    const void* lf = std::memchr(from, '\n', avail);
    std::size_t n = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - from) + 1 : avail;
    std::memcpy(buffer + out, from, n);
    out += n;
    rawPos_ += n;
    consumed_ += n;
    lineStart_ = lf != nullptr;
  }
  return out;
}

}  // namespace mail

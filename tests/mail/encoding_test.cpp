// The mail client's text handling without a server: Base64 and uuencode lines, the
// MIME message with its header spacing and dot-stuffing, header values that try to
// break out of their line, mailbox rules, and reading server replies.
#include <gtest/gtest.h>

#include <sstream>

#include "mail/mailbox.h"
#include "mail/mimemessage.h"
#include "mail/smtpreply.h"
#include "mail/tarnuuprocessor.h"
#include "support/temp_dir.h"

namespace {

using testsupport::TempDir;

std::string Encode(TUUMethod method, const std::string& data) {
  TTarnUUProcessor p;
  p.Method = method;
  std::istringstream in(data);
  std::ostringstream out;
  p.Encode(in, out);
  return out.str();
}

std::string Decode(TUUMethod method, const std::string& text) {
  TTarnUUProcessor p;
  p.Method = method;
  std::istringstream in(text);
  std::ostringstream out;
  p.Decode(in, out);
  return out.str();
}

std::string Bytes(std::size_t n) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  return s;
}

// Everything a message hands out, and the pieces' sizes before stuffing.
std::string ReadAll(mail::TMimeMessage& m, std::size_t piece = 1000) {
  std::string out(piece, '\0'), all;
  while (std::size_t n = m.Read(out.data(), out.size())) all.append(out.data(), n);
  return all;
}

TEST(UUProcessor, Base64LinesAndPadding) {
  // 46 bytes: one full line of 60 characters and one of 4 ("==" pads the last byte).
  std::string full;
  for (int i = 0; i < 15; ++i) full += "YWFh";
  EXPECT_EQ(Encode(uuMime, std::string(45, 'a') + "b"), full + "\r\nYg==\r\n");
  EXPECT_EQ(Encode(uuMime, "ab"), "YWI=\r\n");
  EXPECT_EQ(Encode(uuMime, ""), "");
  EXPECT_EQ(Encode(uuCode, "Cat"), "#0V%T\r\n`\r\n");
  // Short last groups are not padded in uuencode: 1 byte gives 2 characters.
  EXPECT_EQ(Encode(uuCode, "C"), "!0P\r\n`\r\n");
}

TEST(UUProcessor, SizesAndRoundTripsForEveryLength) {
  for (TUUMethod method : {uuMime, uuCode}) {
    for (std::size_t n : {0, 1, 2, 3, 44, 45, 46, 89, 90, 91, 135, 1000, 65520, 65521, 200000}) {
      std::string data = Bytes(n);
      std::string text = Encode(method, data);
      EXPECT_EQ(text.size(), TTarnUUProcessor::EncodedSize(method, n)) << method << " " << n;
      EXPECT_EQ(Decode(method, text), data) << method << " " << n;
      // Every line but the last is a full 45-byte block.
      std::size_t lineLen = method == uuMime ? 62 : 63;
      std::size_t full = n / 45;
      for (std::size_t i = 0; i < full; ++i) ASSERT_EQ(text.substr(i * lineLen + lineLen - 2, 2), "\r\n");
    }
  }
  EXPECT_THROW(Decode(uuMime, "YW*h\r\n"), std::runtime_error);
}

TEST(ReplyParser, NumbersAndContinuations) {
  EXPECT_EQ(mail::ReplyNumberOf("250 OK"), 250);
  EXPECT_EQ(mail::ReplyNumberOf("250-SIZE"), 250);
  EXPECT_EQ(mail::ReplyNumberOf("OK"), 0);
  EXPECT_EQ(mail::ReplyNumberOf(""), 0);
  EXPECT_EQ(mail::ReplyNumberOf("12345678901234"), 1234567890);  // at most 10 characters
  EXPECT_TRUE(mail::IsContinuationLine("250-SIZE 100"));
  EXPECT_TRUE(mail::IsContinuationLine(" more text"));
  EXPECT_FALSE(mail::IsContinuationLine("250 OK"));
  EXPECT_FALSE(mail::IsContinuationLine("25-"));
  EXPECT_FALSE(mail::IsContinuationLine(""));
}

TEST(ReplyParser, LinesAcrossPiecesAndOverlongLines) {
  mail::TReplyLineBuffer b(16);
  b.Append("220 hel");
  EXPECT_FALSE(b.NextLine());
  b.Append("lo\r\n250 OK\n25");
  EXPECT_EQ(*b.NextLine(), "220 hello");
  EXPECT_EQ(*b.NextLine(), "250 OK");
  EXPECT_FALSE(b.NextLine());
  EXPECT_EQ(b.Pending(), 2u);
  b.Append(std::string(20, 'x'));
  EXPECT_TRUE(b.Overflowed());
  EXPECT_FALSE(b.NextLine());

  mail::TReplyLineBuffer c(16);
  c.Append(std::string(40, 'y') + "\r\n");  // a complete line that is too long
  EXPECT_TRUE(c.Overflowed());
}

TEST(ReplyParser, EhloExtensions) {
  auto ext = mail::ParseEhloReply({"250-mail.example greets you", "250-SIZE 35882577", "250-starttls", "250-AUTH=LOGIN",
                                   "250 AUTH CRAM-MD5 plain"});
  EXPECT_TRUE(ext.StartTls);
  EXPECT_TRUE(ext.AuthPlain);
  EXPECT_TRUE(ext.AuthLogin);
  EXPECT_EQ(ext.Size, 35882577u);
  // The greeting line names no extension, and a bad SIZE is ignored.
  ext = mail::ParseEhloReply({"250 STARTTLS", "250 SIZE 12x"});
  EXPECT_FALSE(ext.StartTls);
  EXPECT_FALSE(ext.Size);
}

TEST(Mailbox, ExtractionRules) {
  EXPECT_EQ(mail::ExtractMailbox("Ann Lee <ann@example.org>"), "ann@example.org");
  EXPECT_EQ(mail::ExtractMailbox("<bob@example.org"), "bob@example.org");
  EXPECT_EQ(mail::ExtractMailbox("SMTP:carl@example.org:x"), "carl@example.org");
  EXPECT_EQ(mail::ExtractMailbox("  dan@example.org "), "dan@example.org");
}

TEST(Mailbox, AddressesRefusedWithTheirField) {
  for (const char* good : {"ann@example.org", "a.b+c@mail.example.org", "\"a b\"@example.org", "x@[127.0.0.1]",
                           "Ann Lee <ann@example.org>"})
    EXPECT_EQ(mail::AddressError("To", good, false), "") << good;
  EXPECT_EQ(mail::AddressError("Email", "ann lee@example.org", false),
            "The address \"ann lee@example.org\" in the field \"Email\" is not a valid mailbox: it has the "
            "character \" \".");
  EXPECT_EQ(mail::AddressError("To", "a@b.c\r\nRCPT TO:<evil@x.y>", false),
            "The address \"a@b.c??RCPT TO:<evil@x.y>\" in the field \"To\" is not a valid mailbox: it has a line "
            "break or another control character.");
  for (const char* bad : {"", "ann", "@example.org", "ann@", "a..b@example.org", "ann@exa_mple.org", "ann@-example.org",
                          "ann@example..org", "jöran@example.org", "Enter your Email address"})
    EXPECT_NE(mail::AddressError("From", bad, true), "") << bad;
  // A sender field holds a bare mailbox: angle brackets are not taken apart there.
  EXPECT_NE(mail::AddressError("From", "Ann <ann@example.org>", true), "");
}

TEST(MimeHeader, ValuesCannotBreakTheirLine) {
  EXPECT_EQ(mail::HeaderValue("Hello\r\nBcc: evil@example.org"), "Hello\r\n Bcc: evil@example.org");
  EXPECT_EQ(mail::HeaderValue("a\n\n\r\n  b\r\n"), "a\r\n b");
  EXPECT_EQ(mail::HeaderValue(std::string("a\0b", 3)), "a b");
  EXPECT_EQ(mail::HeaderValue("Grüße"), "=?UTF-8?B?R3LDvMOfZQ==?=");
  EXPECT_EQ(mail::DisplayName("Lee, Ann"), "\"Lee, Ann\"");
  EXPECT_EQ(mail::DisplayName("Ann \"the\" Lee"), "\"Ann \\\"the\\\" Lee\"");
  EXPECT_EQ(mail::DisplayName("J. Smith"), "J. Smith");
  EXPECT_EQ(mail::QuotedFileName("a\"b.zip"), "a\\\"b.zip");
  // Long values are folded so that no line passes 998 characters.
  std::string longValue;
  for (int i = 0; i < 300; ++i) longValue += "word ";
  std::string folded = mail::HeaderValue(longValue);
  TPostMessage m;
  m.FromAddress = "a@b.c";
  m.ToAddress = {"x@y.z"};
  m.Subject = longValue;
  mail::TMimeMessage msg(m, uuMime, mtPlain, "B");
  for (const std::string& line : msg.Header()) {
    std::size_t start = 0;
    for (std::size_t end; (end = line.find("\r\n", start)) != std::string::npos; start = end + 2)
      EXPECT_LE(end - start, 998u);
    EXPECT_LE(line.size() - start, 998u);
  }
}

TEST(MimeMessage, HeaderLinesAndPlainBody) {
  TPostMessage m;
  m.FromAddress = "me@example.org";
  m.FromName = "Me";
  m.ToAddress = {"ann@example.org", "Bob <bob@example.org>"};
  m.ToCarbonCopy = {"cc@example.org"};
  m.ToBlindCarbonCopy = {"hidden@example.org"};
  m.Subject = "Hi";
  m.LocalProgram = "Tarn SMTP Demo";
  m.Body = {"first", ".", "..two", "multi\nline"};
  mail::TMimeMessage msg(m, uuMime, mtPlain, "unused");
  std::vector<std::string> want = {"From: Me<me@example.org>",
                                   "To: ann@example.org,Bob <bob@example.org>",
                                   "CC: cc@example.org",
                                   "Subject: Hi",
                                   "X-Mailer: Tarn SMTP Demo",
                                   "Mime-Version: 1.0",
                                   "Content-Type: text/plain;                        charset=us-ascii"};
  EXPECT_EQ(msg.Header(), want);
  std::string head;
  for (const auto& l : want) head += l + "\r\n";
  std::string sent = ReadAll(msg, 7);  // small pieces: stuffing must work across them
  EXPECT_EQ(sent, head + "\r\n\r\nfirst\r\n..\r\n...two\r\nmulti\r\nline\r\n");
  EXPECT_EQ(msg.TotalSize(), sent.size() - 2);  // the size counts the text before stuffing
  EXPECT_EQ(msg.Consumed(), msg.TotalSize());
}

TEST(MimeMessage, AttachmentsAreEncodedPartsInOrder) {
  TempDir dir;
  std::string small = dir.write("small.bin", std::string(46, 'z'));
  std::string empty = dir.write("empty.zip", "");
  std::string big = dir.write("dir/big.zip", Bytes(100000));
  TPostMessage m;
  m.FromAddress = "me@example.org";
  m.ToAddress = {"ann@example.org"};
  m.Body = {"see attached"};
  m.Attachments = {small, empty, big};
  std::vector<std::string> events;
  mail::TMimeMessage msg(m, uuMime, mtPlain, "BOUND");
  msg.OnEncodeStart = [&](const std::string& p) { events.push_back("start " + p); };
  msg.OnEncodeEnd = [&](const std::string& p) { events.push_back("end " + p); };
  EXPECT_EQ(msg.Header().back(), "Content-Type: multipart/mixed;                   boundary=\"BOUND\"");
  std::string sent = ReadAll(msg, 65536);
  EXPECT_EQ(msg.Consumed(), msg.TotalSize());
  EXPECT_EQ(sent.size(), msg.TotalSize());
  auto part = [](const std::string& name) {
    return "--BOUND\r\nContent-Type: application/octet-stream;          name=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment;                 filename=\"" +
           name + "\"\r\n\r\n";
  };
  std::string body = sent.substr(sent.find("\r\n\r\n\r\n") + 6);
  std::string want =
      "--BOUND\r\nContent-Type: text/plain;                        charset=us-ascii\r\n\r\nsee attached\r\n" +
      part("small.bin") + Encode(uuMime, std::string(46, 'z')) + part("empty.zip") + part("big.zip") +
      Encode(uuMime, Bytes(100000)) + "--BOUND--\r\n";
  EXPECT_EQ(body, want);
  EXPECT_EQ(events, (std::vector<std::string>{"start " + small, "end " + small, "start " + empty, "end " + empty,
                                              "start " + big, "end " + big}));
}

TEST(MimeMessage, MissingAttachmentFailsWhenTheMessageIsMade) {
  TempDir dir;
  TPostMessage m;
  m.FromAddress = "me@example.org";
  m.ToAddress = {"ann@example.org"};
  m.Attachments = {dir / "gone.zip"};
  try {
    mail::TMimeMessage msg(m, uuMime, mtPlain, "B");
    FAIL() << "no error";
  } catch (const mail::EAttachmentError& e) {
    EXPECT_EQ(e.Path, dir / "gone.zip");
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir / "gone.zip" + "\": No such file or directory");
  }
  m.Attachments = {dir.path()};
  EXPECT_THROW(mail::TMimeMessage(m, uuMime, mtPlain, "B"), mail::EAttachmentError);
}

TEST(MimeMessage, TextOutsideAsciiIsLabelledAndUuencodeIsNamed) {
  TempDir dir;
  TPostMessage m;
  m.FromAddress = "me@example.org";
  m.FromName = "Jöran";
  m.ToAddress = {"ann@example.org"};
  m.Body = {"Hälsningar"};
  m.Attachments = {dir.write("a.bin", std::string(14, 'q'))};
  mail::TMimeMessage msg(m, uuCode, mtHtml, "B");
  EXPECT_EQ(msg.Header()[0], "From: =?UTF-8?B?SsO2cmFu?=<me@example.org>");
  std::string sent = ReadAll(msg);
  EXPECT_NE(sent.find("Content-Type: text/html;                        charset=utf-8\r\n"
                      "Content-Transfer-Encoding: 8bit\r\n"),
            std::string::npos);
  EXPECT_NE(sent.find("Content-Transfer-Encoding: x-uuencode\r\n"), std::string::npos);
  // A 14-byte uuencoded line starts with "." (32 + 14) and is stuffed.
  std::string line = Encode(uuCode, std::string(14, 'q'));
  line.resize(line.find("\r\n") + 2);
  ASSERT_EQ(line[0], '.');
  EXPECT_NE(sent.find("\r\n\r\n." + line), std::string::npos) << sent;
}

}  // namespace

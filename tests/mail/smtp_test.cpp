// The SMTP client against a real SMTP server on loopback: what arrives byte for byte,
// STARTTLS with a checked certificate and sign-in, refused recipients, commands and
// greetings, a server that stops answering, and Cancel during a large attachment.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "mail/smtp_test_server.h"
#include "mail/tarnsmtp.h"
#include "platform/pump.h"
#include "support/temp_dir.h"

namespace {

using mailtest::Certificates;
using mailtest::SmtpTestServer;
using testsupport::TempDir;

#define START_SERVER(server, ...)     \
  SmtpTestServer server{__VA_ARGS__}; \
  ASSERT_EQ(server.error(), "") << "test server"

class Smtp : public ::testing::Test {
 protected:
  // A client for the server, with short waits and every event recorded.
  void Aim(TTarnSMTP& c, const SmtpTestServer& s) {
    c.Host = "127.0.0.1";
    c.Port = s.port();
    c.TimeOut = 5000;
    c.ReplyTimeOut = 5000;
    c.UserID = "client.test";
    c.OnRecipientNotFound = [this](const std::string& r) { events.push_back("not found " + r); };
    c.OnSuccess = [this] { events.push_back("success"); };
    c.OnFailure = [this] { events.push_back("failure"); };
    c.OnConnect = [this] { events.push_back("connect"); };
    c.OnDisconnect = [this] { events.push_back("disconnect"); };
  }
  void Fill(TTarnSMTP& c) {
    c.PostMessage.FromAddress = "me@example.org";
    c.PostMessage.FromName = "Me";
    c.PostMessage.ToAddress = {"ann@example.org"};
    c.PostMessage.Subject = "Test";
    c.PostMessage.LocalProgram = "Tarn SMTP Demo";
    c.PostMessage.Body = {"hello"};
  }
  // Runs f and returns the text of the error it raised ("" for none).
  template <typename F>
  static std::string ErrorOf(F&& f) {
    try {
      f();
    } catch (const std::exception& e) { return e.what(); }
    return {};
  }
  std::vector<std::string> events;
};

TEST_F(Smtp, MessageArrivesByteForByte) {
  START_SERVER(server);
  TempDir dir;
  std::string tiny = dir.write("tiny.bin", std::string(46, '\xAB'));
  std::string second = dir.write("second.zip", "PK\x05\x06 second");
  std::string third = dir.write("sub/third.txt", ".starts with a dot\r\n.\r\n");
  TTarnSMTP c;
  Aim(c, server);
  Fill(c);
  c.PostMessage.ToAddress = {"ann@example.org", "Bob Lee <bob@example.org>"};
  c.PostMessage.ToCarbonCopy = {"cc@example.org"};
  c.PostMessage.ToBlindCarbonCopy = {"hidden@example.org"};
  c.PostMessage.Body = {"first line", ".", "last"};
  c.PostMessage.Attachments = {tiny, second, third};
  c.Connect();
  c.SendMail();
  c.Disconnect();
  EXPECT_EQ(events, (std::vector<std::string>{"connect", "success", "disconnect"}));

  std::string raw = server.raw(1);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(raw, m, std::regex("boundary=\"(====================54535\\d\\d:\\d\\d:\\d\\d====)\"")))
      << raw;
  std::string b = m[1];
  auto part = [&](const std::string& name) {
    return "--" + b + "\r\nContent-Type: application/octet-stream;          name=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\n"
           "Content-Disposition: attachment;                 filename=\"" +
           name + "\"\r\n\r\n";
  };
  std::string want =
      "From: Me<me@example.org>\r\n"
      "To: ann@example.org,Bob Lee <bob@example.org>\r\n"
      "CC: cc@example.org\r\n"
      "Subject: Test\r\n"
      "X-Mailer: Tarn SMTP Demo\r\n"
      "Mime-Version: 1.0\r\n"
      "Content-Type: multipart/mixed;                   boundary=\"" +
      b +
      "\"\r\n"
      "\r\n\r\n"
      "--" +
      b +
      "\r\nContent-Type: text/plain;                        charset=us-ascii\r\n\r\n"
      "first line\r\n"
      "..\r\n"  // the "." body line, stuffed
      "last\r\n" +
      part("tiny.bin") +
      "q6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6urq6ur\r\n"  // 45 bytes: 60 characters
      "qw==\r\n" +                                                        // the 46th byte
      part("second.zip") +
      "UEsFBiBzZWNvbmQ=\r\n" + part("third.txt") + "LnN0YXJ0cyB3aXRoIGEgZG90DQouDQo=\r\n" + "--" + b + "--\r\n.\r\n";
  EXPECT_EQ(raw, want);
  // The envelope: every recipient as a bare mailbox, the blind copy too.
  EXPECT_EQ(server.envelope(1),
            "{\"mail_from\": \"me@example.org\", \"rcpt_tos\": [\"ann@example.org\", \"bob@example.org\", "
            "\"cc@example.org\", \"hidden@example.org\"], \"hello\": \"client.test\", \"user\": null, \"tls\": false}");
  std::string t = server.transcript(1);
  EXPECT_NE(t.find("C: RSET\nS: 250 OK\nC: MAIL FROM:<me@example.org>\nS: 250 OK\nC: RCPT TO:<ann@example.org>\n"),
            std::string::npos)
      << t;
  EXPECT_NE(t.find("C: QUIT\nS: 221 Bye"), std::string::npos);
  // ClearParams: the next message starts empty.
  EXPECT_TRUE(c.PostMessage.ToAddress.empty());
  EXPECT_TRUE(c.PostMessage.Attachments.empty());
  EXPECT_TRUE(c.PostMessage.Body.empty());
  EXPECT_EQ(c.PostMessage.FromAddress, "me@example.org");
}

TEST_F(Smtp, SubjectWithLineBreakIsOneHeaderLine) {
  START_SERVER(server);
  TTarnSMTP c;
  Aim(c, server);
  Fill(c);
  c.PostMessage.Subject = "Hello\r\nBcc: evil@example.org\r\n\r\nbody injected";
  c.Connect();
  c.SendMail();
  std::string eml = server.eml(1);
  std::string head = eml.substr(0, eml.find("\r\n\r\n"));
  EXPECT_NE(head.find("\r\nSubject: Hello\r\n Bcc: evil@example.org\r\n body injected\r\n"), std::string::npos) << head;
  EXPECT_EQ(head.find("\r\nBcc:"), std::string::npos);
  EXPECT_NE(server.envelope(1).find("\"rcpt_tos\": [\"ann@example.org\"]"), std::string::npos);
}

TEST_F(Smtp, BadAddressesAreRefusedBeforeAnythingIsSent) {
  START_SERVER(server);
  TTarnSMTP c;
  Aim(c, server);
  c.Connect();
  Fill(c);
  c.PostMessage.ToCarbonCopy = {"x@example.org>\r\nRCPT TO:<evil@example.org"};
  EXPECT_EQ(ErrorOf([&] { c.SendMail(); }),
            "The address \"x@example.org>??RCPT TO:<evil@example.org\" in the field \"CC\" is not a valid mailbox: it "
            "has a line break or another control character.");
  Fill(c);
  c.PostMessage.FromAddress = "Enter your Email address";
  EXPECT_NE(ErrorOf([&] { c.SendMail(); }).find("in the field \"From\""), std::string::npos);
  // A missing attachment fails before RSET, naming the file.
  Fill(c);
  std::string missing;
  c.OnAttachmentNotFound = [&](const std::string& f) { missing = f; };
  c.PostMessage.Attachments = {"/nonexistent/archive.zip"};
  EXPECT_EQ(ErrorOf([&] { c.SendMail(); }), "Cannot open file \"/nonexistent/archive.zip\": No such file or directory");
  EXPECT_EQ(missing, "/nonexistent/archive.zip");
  c.Disconnect();
  EXPECT_EQ(server.transcript(1).find("RSET"), std::string::npos);
  EXPECT_TRUE(c.PostMessage.Attachments.empty());  // emptied after the failed send too
}

TEST_F(Smtp, RefusedCarbonCopyIsReportedAndTheOthersGetTheMessage) {
  START_SERVER(server, {"--refuse-rcpt", "cc@example.org"});
  TTarnSMTP c;
  Aim(c, server);
  Fill(c);
  c.PostMessage.ToCarbonCopy = {"Carl <cc@example.org>"};
  c.Connect();
  c.SendMail();
  EXPECT_EQ(events, (std::vector<std::string>{"connect", "not found Carl <cc@example.org>", "success"}));
  EXPECT_NE(server.envelope(1).find("\"rcpt_tos\": [\"ann@example.org\"]"), std::string::npos);
}

TEST_F(Smtp, RefusedDataAndRefusedMessageCarryTheReply) {
  {
    START_SERVER(server, {"--refuse-data"});
    TTarnSMTP c;
    Aim(c, server);
    Fill(c);
    c.Connect();
    EXPECT_EQ(ErrorOf([&] { c.SendMail(); }), "554 5.5.1 Error: no valid recipients");
    EXPECT_TRUE(c.Connected());  // a refused command leaves the dialogue in order
    EXPECT_FALSE(c.Sending());
    c.Disconnect();
  }
  {
    START_SERVER(server, {"--refuse-message"});
    events.clear();
    TTarnSMTP c;
    Aim(c, server);
    Fill(c);
    c.Connect();
    EXPECT_EQ(ErrorOf([&] { c.SendMail(); }), "554 5.7.1 Message refused");
    EXPECT_EQ(events, (std::vector<std::string>{"connect", "failure"}));
  }
}

TEST_F(Smtp, SilentServerGivesTheTimeOutText) {
  for (const char* when : {"greeting", "data"}) {
    SCOPED_TRACE(when);
    START_SERVER(server, {"--stall", when});
    TTarnSMTP c;
    Aim(c, server);
    c.ReplyTimeOut = 300;
    Fill(c);
    std::string error = ErrorOf([&] {
      c.Connect();
      c.SendMail();
    });
    EXPECT_EQ(error, "Connection Timed out");
    EXPECT_FALSE(c.Connected());
    EXPECT_FALSE(c.Busy());
  }
}

TEST_F(Smtp, StartTlsAndSignIn) {
  const auto& certs = Certificates();
  ASSERT_EQ(certs.error, "");
  for (const char* mechanisms : {"PLAIN,LOGIN", "LOGIN"}) {
    SCOPED_TRACE(mechanisms);
    START_SERVER(server, {"--tls-cert", certs.certFile, "--tls-key", certs.keyFile, "--auth", "ann:s3cret pass",
                          "--auth-mechanisms", mechanisms});
    TTarnSMTP c;
    Aim(c, server);
    c.TrustFile = certs.certFile;
    c.UserName = "ann";
    int asked = 0;
    c.OnPasswordRequired = [&](std::string& p) {
      ++asked;
      p = "s3cret pass";
      return true;
    };
    Fill(c);
    c.Connect();
    EXPECT_TRUE(c.TlsActive());
    c.SendMail();
    c.Disconnect();
    EXPECT_EQ(server.envelope(1),
              "{\"mail_from\": \"me@example.org\", \"rcpt_tos\": [\"ann@example.org\"], \"hello\": \"client.test\", "
              "\"user\": \"ann\", \"tls\": true}");
    std::string t = server.transcript(1);
    EXPECT_NE(t.find(std::string("C: AUTH ") + (mechanisms[0] == 'P' ? "PLAIN" : "LOGIN")), std::string::npos) << t;
    // The password is asked once and kept for the run.
    c.Connect();
    c.Disconnect();
    EXPECT_EQ(asked, 1);
  }
}

TEST_F(Smtp, WrongPasswordIsForgotten) {
  const auto& certs = Certificates();
  ASSERT_EQ(certs.error, "");
  START_SERVER(server, {"--tls-cert", certs.certFile, "--tls-key", certs.keyFile, "--auth", "ann:right"});
  TTarnSMTP c;
  Aim(c, server);
  c.TrustFile = certs.certFile;
  c.UserName = "ann";
  c.Password = "wrong";
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "Authentication failed: 535 5.7.8 Authentication credentials invalid");
  EXPECT_EQ(c.Password, "");
  EXPECT_FALSE(c.Connected());
  // No answer to the password question stops before AUTH.
  c.OnPasswordRequired = [](std::string&) { return false; };
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "Authentication failed: no password given");
}

TEST_F(Smtp, CertificateFailuresNeverFallBackToPlainText) {
  const auto& certs = Certificates();
  ASSERT_EQ(certs.error, "");
  struct Case {
    const char* name;
    std::string cert, key, trust, host;
    const char* reason;
  } cases[] = {
      {"untrusted", certs.certFile, certs.keyFile, "", "127.0.0.1", "self-signed certificate"},
      {"other name", certs.otherCertFile, certs.otherKeyFile, certs.otherCertFile, "127.0.0.1", "IP address mismatch"},
      {"other host name", certs.otherCertFile, certs.otherKeyFile, certs.otherCertFile, "localhost",
       "hostname mismatch"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    START_SERVER(server, {"--tls-cert", k.cert, "--tls-key", k.key});
    TTarnSMTP c;
    Aim(c, server);
    c.Host = k.host;
    c.TrustFile = k.trust;
    try {
      c.Connect();
      FAIL() << "connected";
    } catch (const ESockError& e) {
      EXPECT_STREQ(e.what(), "Certificate check failed");
      EXPECT_EQ(e.Detail(), k.reason);
    }
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(server.transcript(1).find("MAIL FROM"), std::string::npos);
  }
}

TEST_F(Smtp, NoSecureConnectionNoPasswordAndNoMailWhenTlsIsRequired) {
  START_SERVER(server, {"--auth", "ann:pw"});  // no certificate: no STARTTLS on offer
  TTarnSMTP c;
  Aim(c, server);
  c.UserName = "ann";
  c.Password = "pw";
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }),
            "The server offers no secure connection (STARTTLS); the password is never sent without one");
  c.UserName.clear();
  c.RequireTls = true;
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }),
            "The server offers no secure connection (STARTTLS), which the mail settings require");
  EXPECT_EQ(server.transcript(1).find("AUTH"), std::string::npos);
  EXPECT_FALSE(c.Connected());
}

TEST_F(Smtp, PlainTextSlippedInBeforeTheHandshakeIsRefused) {
  const auto& certs = Certificates();
  ASSERT_EQ(certs.error, "");
  START_SERVER(server, {"--tls-cert", certs.certFile, "--tls-key", certs.keyFile, "--data-before-tls"});
  TTarnSMTP c;
  Aim(c, server);
  c.TrustFile = certs.certFile;
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "TLS handshake failed");
  EXPECT_FALSE(c.Connected());
}

TEST_F(Smtp, GreetingNameRetriedThroughTheHandler) {
  START_SERVER(server, {"--refuse-hello", "bad.name"});
  TTarnSMTP c;
  Aim(c, server);
  c.UserID = "bad.name";
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "Authentication failed");
  int calls = 0;
  c.OnAuthenticationFailed = [&](bool& handled) {
    ++calls;
    c.UserID = "good.name";
    handled = true;
  };
  c.UserID = "bad.name";
  c.Connect();
  EXPECT_EQ(calls, 1);
  Fill(c);
  c.SendMail();
  EXPECT_NE(server.envelope(1).find("\"hello\": \"good.name\""), std::string::npos);
  // An old server without EHLO is greeted with HELO.
  START_SERVER(old, {"--no-ehlo"});
  TTarnSMTP o;
  Aim(o, old);
  o.Connect();
  EXPECT_NE(old.transcript(1).find("C: HELO client.test\nS: 250 test.server"), std::string::npos);
}

TEST_F(Smtp, HostAndConnectionFailures) {
  START_SERVER(server);
  TTarnSMTP c;
  Aim(c, server);
  c.Host = "";
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "Null Remote Address");
  c.OnInvalidHost = [&](bool& handled) {
    c.Host = "127.0.0.1";
    handled = true;
  };
  c.Connect();
  EXPECT_EQ(ErrorOf([&] { c.Connect(); }), "Already connected");
  c.Disconnect();
  c.Host = "localhost";  // a name, looked up
  c.Connect();
  c.Disconnect();

  TTarnSMTP r;
  Aim(r, server);
  r.Port = mailtest::UnusedPort();
  bool failed = false;
  r.OnConnectionFailed = [&] { failed = true; };
  try {
    r.Connect();
    FAIL() << "connected";
  } catch (const ESockError& e) {
    EXPECT_STREQ(e.what(), "Connection Failed");
    EXPECT_EQ(e.Detail(), "Connection refused");
  }
  EXPECT_TRUE(failed);
}

TEST_F(Smtp, SendWithoutConnectionAsksTheOwner) {
  START_SERVER(server);
  TTarnSMTP c;
  Aim(c, server);
  Fill(c);
  EXPECT_EQ(ErrorOf([&] { c.SendMail(); }), "Not Connected");
  Fill(c);
  c.OnConnectionRequired = [&](bool& handled) {
    c.Connect();
    handled = true;
  };
  c.SendMail();
  EXPECT_EQ(events.back(), "success");
  // A message without sender or recipients: the handler gets its chance once.
  std::vector<int> types;
  c.OnHeaderIncomplete = [&](bool& handled, int type) {
    types.push_back(type);
    (void)handled;
  };
  c.PostMessage.FromAddress.clear();
  EXPECT_EQ(ErrorOf([&] { c.SendMail(); }), "Incomplete Header");
  c.PostMessage.FromAddress = "me@example.org";
  EXPECT_EQ(ErrorOf([&] { c.SendMail(); }), "Incomplete Header");
  EXPECT_EQ(types, (std::vector<int>{1, 2}));
}

TEST_F(Smtp, CancelDuringLargeAttachmentEndsAtOnce) {
  START_SERVER(server);
  TempDir dir;
  std::string big = dir / "big.zip";
  {
    std::string block(1 << 20, '\x5A');
    FILE* f = std::fopen(big.c_str(), "wb");
    for (int i = 0; i < 50; ++i) std::fwrite(block.data(), 1, block.size(), f);
    std::fclose(f);
  }
  TTarnSMTP c;
  Aim(c, server);
  Fill(c);
  c.PostMessage.Attachments = {big};
  std::chrono::steady_clock::time_point cancelledAt;
  std::uint64_t sentAtCancel = 0;
  int pumps = 0;
  // The user presses Cancel while the window processes its events during the send.
  platform::setPumpHook([&] {
    ++pumps;
    if (sentAtCancel == 0 && c.BytesSent > 5'000'000) {
      sentAtCancel = c.BytesSent;
      cancelledAt = std::chrono::steady_clock::now();
      c.Abort();
    }
  });
  std::string error = ErrorOf([&] {
    c.Connect();
    c.SendMail();
  });
  auto took = std::chrono::steady_clock::now() - cancelledAt;
  platform::setPumpHook(nullptr);
  EXPECT_EQ(error, "Socket send aborted");
  ASSERT_GT(sentAtCancel, 0u);
  EXPECT_GT(c.BytesTotal, 50u * 1024 * 1024 * 4 / 3);
  EXPECT_LT(c.BytesSent, c.BytesTotal / 2);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), 1000);
  EXPECT_FALSE(c.Connected());
  EXPECT_FALSE(c.Sending());
  // The server never got a complete message: it was cut off without the closing ".".
  EXPECT_EQ(server.raw(1), "");
}

TEST_F(Smtp, AbortWhenIdleDisconnects) {
  START_SERVER(server);
  TTarnSMTP c;
  Aim(c, server);
  c.Connect();
  c.Abort();
  EXPECT_FALSE(c.Connected());
  EXPECT_TRUE(server.waitForTranscript(1, "C: QUIT"));
}

}  // namespace

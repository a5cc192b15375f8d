// The loopback SMTP server of the mail tests (smtp_server.py, a real SMTP server on
// Debian's aiosmtpd): started on a free port for one test and stopped at its end,
// plus the test certificates for STARTTLS, made with the openssl program.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace mailtest {

class SmtpTestServer {
 public:
  // args: the server's options ("--refuse-data", "--auth", "ann:secret", ...).
  explicit SmtpTestServer(std::vector<std::string> args = {});
  ~SmtpTestServer();
  SmtpTestServer(const SmtpTestServer&) = delete;
  SmtpTestServer& operator=(const SmtpTestServer&) = delete;

  // Empty when the server runs; otherwise why it could not be started.
  const std::string& error() const { return error_; }
  int port() const { return port_; }

  // What the server recorded (empty when missing): message n (1-based) as it came
  // in the DATA phase, after un-stuffing, its envelope as JSON, and the command
  // transcript of connection n.
  std::string raw(int n) const;
  std::string eml(int n) const;
  std::string envelope(int n) const;
  std::string transcript(int n) const;
  // Waits (bounded) until the transcript of connection n holds text.
  bool waitForTranscript(int n, const std::string& text) const;

 private:
  testsupport::TempDir dir_;
  pid_t pid_ = -1;
  int port_ = 0;
  std::string error_;
};

// Test certificates, made once per test program: a server certificate for
// "localhost" and 127.0.0.1, and one for "other.example" (for the host-name check).
struct TestCertificates {
  std::string certFile, keyFile;            // localhost, 127.0.0.1
  std::string otherCertFile, otherKeyFile;  // other.example
  std::string error;                        // empty when both were made
};
const TestCertificates& Certificates();

// A loopback port nobody listens on.
int UnusedPort();

}  // namespace mailtest

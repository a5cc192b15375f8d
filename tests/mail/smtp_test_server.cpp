#include "mail/smtp_test_server.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

extern char** environ;

namespace mailtest {

namespace {

constexpr const char* kPython = "/usr/bin/python3";

bool WaitUntil(const std::function<bool()>& done, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace

SmtpTestServer::SmtpTestServer(std::vector<std::string> args) {
  std::string portFile = dir_ / "port";
  std::vector<std::string> argv = {kPython, KV_SMTP_SERVER, "--port-file", portFile, "--record-dir", dir_.path()};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> cargv;
  for (std::string& a : argv) cargv.push_back(a.data());
  cargv.push_back(nullptr);
  // The server's own log (asyncio reports every connection a test cuts off) goes to
  // a file beside its records, not into the test's output.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  std::string log = dir_ / "server.log";
  posix_spawn_file_actions_addopen(&files, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&files, 1, 2);
  int rc = ::posix_spawn(&pid_, kPython, &files, nullptr, cargv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  if (rc != 0) {
    pid_ = -1;
    error_ = "cannot start " + std::string(kPython);
    return;
  }
  bool up = WaitUntil(
      [&] {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;
          return true;
        }
        return !testsupport::readFile(portFile).empty();
      },
      20000);
  if (pid_ < 0) {
    error_ = "the test SMTP server ended at once (is python3-aiosmtpd installed?): " + testsupport::readFile(log);
    return;
  }
  if (!up) {
    error_ = "the test SMTP server did not start";
    return;
  }
  port_ = std::stoi(testsupport::readFile(portFile));
}

SmtpTestServer::~SmtpTestServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  if (!WaitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, 5000)) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
  }
}

std::string SmtpTestServer::raw(int n) const {
  return testsupport::readFile(dir_ / ("msg-" + std::to_string(n) + ".raw"));
}
std::string SmtpTestServer::eml(int n) const {
  return testsupport::readFile(dir_ / ("msg-" + std::to_string(n) + ".eml"));
}
std::string SmtpTestServer::envelope(int n) const {
  return testsupport::readFile(dir_ / ("msg-" + std::to_string(n) + ".json"));
}
std::string SmtpTestServer::transcript(int n) const {
  return testsupport::readFile(dir_ / ("conn-" + std::to_string(n) + ".log"));
}

bool SmtpTestServer::waitForTranscript(int n, const std::string& text) const {
  return WaitUntil([&] { return transcript(n).find(text) != std::string::npos; }, 5000);
}

const TestCertificates& Certificates() {
  static std::unique_ptr<testsupport::TempDir> dir;
  static TestCertificates certs = [] {
    dir = std::make_unique<testsupport::TempDir>();
    TestCertificates c;
    c.certFile = *dir / "cert.pem";
    c.keyFile = *dir / "key.pem";
    c.otherCertFile = *dir / "other-cert.pem";
    c.otherKeyFile = *dir / "other-key.pem";
    auto make = [](const std::string& cert, const std::string& key, const std::string& cn, const std::string& san) {
      std::string cmd = "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 -keyout '" +
                        key + "' -out '" + cert + "' -subj '/CN=" + cn + "' -addext 'subjectAltName=" + san + "' 2>&1";
      std::string out;
      return testsupport::shell(cmd, &out) == 0 ? std::string() : out;
    };
    c.error = make(c.certFile, c.keyFile, "localhost", "DNS:localhost,IP:127.0.0.1");
    if (c.error.empty()) c.error = make(c.otherCertFile, c.otherKeyFile, "other.example", "DNS:other.example");
    return c;
  }();
  return certs;
}

int UnusedPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

}  // namespace mailtest

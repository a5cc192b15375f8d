#include "mail/tlschannel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <signal.h>

#include <csignal>
#include <ctime>
#include <stdexcept>

namespace mail {

namespace {

// The TLS library writes to the socket itself, without MSG_NOSIGNAL: a write to a
// connection the server has closed would raise SIGPIPE and end the program. The
// signal is blocked in this thread for the write and a SIGPIPE the write caused is
// taken off the pending set.
class SigpipeBlock {
 public:
  SigpipeBlock() {
    sigemptyset(&set_);
    sigaddset(&set_, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    sigpending(&pending);
    wasPending_ = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &set_, &old_);
  }
  ~SigpipeBlock() {
    if (!wasPending_) {
      sigset_t pending;
      sigemptyset(&pending);
      sigpending(&pending);
      if (sigismember(&pending, SIGPIPE) == 1) {
        timespec none{0, 0};
        sigtimedwait(&set_, nullptr, &none);
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }
  SigpipeBlock(const SigpipeBlock&) = delete;
  SigpipeBlock& operator=(const SigpipeBlock&) = delete;

 private:
  sigset_t set_;
  sigset_t old_;
  bool wasPending_ = false;
};

std::string LibraryError() {
  unsigned long code = ERR_get_error();
  std::string text;
  while (code != 0) {
    char buf[256];
    ERR_error_string_n(code, buf, sizeof buf);
    text = buf;  // the last one queued is the most specific
    code = ERR_get_error();
  }
  return text.empty() ? std::string("TLS error") : text;
}

bool IsAddress(const std::string& host) {
  unsigned char buf[16];
  return inet_pton(AF_INET, host.c_str(), buf) == 1 || inet_pton(AF_INET6, host.c_str(), buf) == 1;
}

}  // namespace

TTlsChannel::TTlsChannel(int fd, const std::string& host, const std::string& trustFile) {
  ERR_clear_error();
  ctx_ = SSL_CTX_new(TLS_client_method());
  if (ctx_ == nullptr) throw std::runtime_error(LibraryError());
  SSL_CTX_set_min_proto_version(ctx_, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx_, SSL_VERIFY_PEER, nullptr);
  if (SSL_CTX_set_default_verify_paths(ctx_) != 1) ERR_clear_error();  // an empty store is checked below
  if (!trustFile.empty() && SSL_CTX_load_verify_locations(ctx_, trustFile.c_str(), nullptr) != 1) {
    std::string why = LibraryError();
    SSL_CTX_free(ctx_);
    throw std::runtime_error("Cannot read the trusted certificates in " + trustFile + ": " + why);
  }
  ssl_ = SSL_new(ctx_);
  if (ssl_ == nullptr) {
    std::string why = LibraryError();
    SSL_CTX_free(ctx_);
    throw std::runtime_error(why);
  }
  SSL_set_mode(ssl_, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  bool ok = SSL_set_fd(ssl_, fd) == 1;
  if (IsAddress(host)) {
    ok = ok && X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), host.c_str()) == 1;
  } else {
    ok = ok && SSL_set_tlsext_host_name(ssl_, host.c_str()) == 1;
    ok = ok && SSL_set1_host(ssl_, host.c_str()) == 1;
  }
  if (!ok) {
    std::string why = LibraryError();
    SSL_free(ssl_);
    SSL_CTX_free(ctx_);
    throw std::runtime_error(why);
  }
  SSL_set_connect_state(ssl_);
}

TTlsChannel::~TTlsChannel() {
  SSL_free(ssl_);
  SSL_CTX_free(ctx_);
}

TTlsChannel::IoState TTlsChannel::Result(int ret) {
  switch (SSL_get_error(ssl_, ret)) {
    case SSL_ERROR_WANT_READ: return IoState::WantRead;
    case SSL_ERROR_WANT_WRITE: return IoState::WantWrite;
    case SSL_ERROR_ZERO_RETURN: return IoState::Closed;
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0) {
        error_ = "the server closed the connection";
        ERR_clear_error();
        return IoState::Closed;
      }
      [[fallthrough]];
    default: {
      long verify = SSL_get_verify_result(ssl_);
      if (verify != X509_V_OK) {
        certificateRefused_ = true;
        error_ = X509_verify_cert_error_string(verify);
        ERR_clear_error();
      } else {
        error_ = LibraryError();
      }
      return IoState::Failed;
    }
  }
}

TTlsChannel::IoState TTlsChannel::Handshake() {
  SigpipeBlock noSigpipe;
  ERR_clear_error();
  int ret = SSL_do_handshake(ssl_);
  if (ret == 1) return IoState::Done;
  IoState state = Result(ret);
  // A handshake cut off by the peer is a failure, not an orderly close.
  if (state == IoState::Closed) {
    if (error_.empty()) error_ = "the server closed the connection during the TLS handshake";
    return IoState::Failed;
  }
  return state;
}

TTlsChannel::IoState TTlsChannel::Read(char* buffer, std::size_t n, std::size_t& got) {
  ERR_clear_error();
  got = 0;
  int ret = SSL_read_ex(ssl_, buffer, n, &got) == 1 ? 1 : 0;
  if (ret == 1) return IoState::Done;
  return Result(ret);
}

TTlsChannel::IoState TTlsChannel::Write(const char* buffer, std::size_t n, std::size_t& put) {
  SigpipeBlock noSigpipe;
  ERR_clear_error();
  put = 0;
  int ret = SSL_write_ex(ssl_, buffer, n, &put) == 1 ? 1 : 0;
  if (ret == 1) return IoState::Done;
  return Result(ret);
}

void TTlsChannel::Shutdown() {
  SigpipeBlock noSigpipe;
  ERR_clear_error();
  SSL_shutdown(ssl_);
  ERR_clear_error();
}

std::string TTlsChannel::Version() const { return SSL_get_version(ssl_); }

}  // namespace mail

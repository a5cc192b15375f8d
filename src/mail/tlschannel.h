// TTlsChannel: TLS over an already connected, non-blocking socket, for the STARTTLS
// upgrade of an SMTP connection. The server's certificate must chain to a trusted
// authority (the system's store, plus an optional extra file of trusted
// certificates) and must name the host the user configured; anything else fails the
// handshake with the reason, and nothing falls back to plain text.
//
// The calls never block: each reports whether it finished or needs the socket to be
// readable or writable first, and the owner waits and calls again.
#pragma once

#include <cstddef>
#include <string>

struct ssl_st;
struct ssl_ctx_st;

namespace mail {

class TTlsChannel {
 public:
  enum class IoState { Done, WantRead, WantWrite, Closed, Failed };

  // fd: the connected socket (not owned). host: the configured server name or
  // address, checked against the certificate. trustFile: a PEM file of further
  // trusted certificates, or empty. Throws std::runtime_error when TLS cannot be
  // set up at all.
  TTlsChannel(int fd, const std::string& host, const std::string& trustFile);
  ~TTlsChannel();
  TTlsChannel(const TTlsChannel&) = delete;
  TTlsChannel& operator=(const TTlsChannel&) = delete;

  IoState Handshake();
  // Reads up to n bytes; got is the count read when Done.
  IoState Read(char* buffer, std::size_t n, std::size_t& got);
  // Writes up to n bytes; put is the count written when Done.
  IoState Write(const char* buffer, std::size_t n, std::size_t& put);
  // Sends the closing alert if the socket takes it at once; never waits.
  void Shutdown();

  // Why the last call failed: the certificate check's reason when that refused the
  // server, otherwise the TLS library's text.
  const std::string& LastError() const { return error_; }
  bool CertificateRefused() const { return certificateRefused_; }
  // The protocol version agreed on ("TLSv1.3"), once the handshake is done.
  std::string Version() const;

 private:
  IoState Result(int ret);

  ssl_ctx_st* ctx_ = nullptr;
  ssl_st* ssl_ = nullptr;
  std::string error_;
  bool certificateRefused_ = false;
};

}  // namespace mail

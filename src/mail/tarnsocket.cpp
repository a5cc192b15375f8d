#include "mail/tarnsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <thread>

#include "mail/tlschannel.h"
#include "platform/clock.h"
#include "platform/pump.h"

namespace {

// Levels of the status reports: failures reach a window that listens at level 0,
// the steps of a connection only a closer listener.
constexpr int kFailure = 0;
constexpr int kReply = 1;
constexpr int kCancel = 2;
constexpr int kStep = 4;
constexpr int kAction = 8;
constexpr int kDetail = 9;

constexpr std::size_t kPacket = 64 * 1024;

// The system's text for an error number.
std::string SystemError(int err) {
  const char* text = std::strerror(err);
  if (text == nullptr || std::strncmp(text, "Unknown error", 13) == 0)
    return "Unknown Error No. " + std::to_string(err);
  return text;
}

// A host lookup running on a thread of its own, so that waiting for it can be
// bounded and cancelled; a lookup given up on finishes in the background.
struct Lookup {
  std::mutex m;
  bool done = false;
  int rc = 0;
  std::vector<sockaddr_storage> addrs;
};

}  // namespace

TTarnSocket::TTarnSocket() = default;

TTarnSocket::~TTarnSocket() {
  tls_.reset();
  if (fd_ >= 0) ::close(fd_);
}

std::string TTarnSocket::TlsVersion() const { return tls_ ? tls_->Version() : std::string(); }

void TTarnSocket::ReportStatus(const std::string& text, int level) {
  status_ = text;
  if (level <= ReportLevel && OnStatus) OnStatus(text);
}

void TTarnSocket::SetReply(const std::string& line) {
  reply_ = line;
  replyNumber_ = mail::ReplyNumberOf(line);
}

void TTarnSocket::Cancel() {
  if (cancel_) return;
  cancel_ = true;
  ReportStatus("Canceling", kCancel);
}

void TTarnSocket::Pump() {
  ++waiting_;
  platform::pumpEvents();
  --waiting_;
}

TTarnSocket::Wait TTarnSocket::WaitReady(int fd, bool forWrite, std::uint64_t deadline) {
  ReportStatus("Timer On", kDetail);
  ++waiting_;
  Wait result = Wait::Ready;
  for (;;) {
    if (cancel_) {
      result = Wait::Cancelled;
      break;
    }
    pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    int r = ::poll(&p, 1, 2);
    // Errors and hang-ups count as ready: the next read or write reports them.
    if (r > 0 || (r < 0 && errno != EINTR)) break;
    if (platform::tickCount() >= deadline) {
      ReportStatus("Timer Triggered", kDetail);
      result = Wait::TimedOut;
      break;
    }
    platform::pumpEvents();
  }
  --waiting_;
  ReportStatus("Timer Off", kDetail);
  return result;
}

void TTarnSocket::ThrowCancelled(CancelKind kind) {
  const char* text = kind == CancelKind::Send ? "Socket send aborted" : "Socket readln aborted";
  ReportStatus(text, kFailure);
  throw EAbortError(text);
}

void TTarnSocket::WaitIo(bool forWrite, CancelKind kind) {
  switch (WaitReady(fd_, forWrite, platform::tickCount() + static_cast<std::uint64_t>(std::max(ReplyTimeOut, 0)))) {
    case Wait::Ready: return;
    case Wait::Cancelled: ThrowCancelled(kind);
    case Wait::TimedOut: ReportStatus("Connection Timed out", kFailure); throw ESockError("Connection Timed out");
  }
}

std::vector<sockaddr_storage> TTarnSocket::Resolve() {
  std::vector<sockaddr_storage> out;
  sockaddr_storage ss{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(&ss);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&ss);
  if (::inet_pton(AF_INET, Host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(Port));
    out.push_back(ss);
    return out;
  }
  if (::inet_pton(AF_INET6, Host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(Port));
    out.push_back(ss);
    return out;
  }
  if (Host.empty()) {
    ReportStatus("Host Lookup Failed", kFailure);
    return out;
  }

  auto lookup = std::make_shared<Lookup>();
  std::thread([lookup, host = Host, port = std::to_string(Port)] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(host.c_str(), port.c_str(), &hints, &res);
    std::vector<sockaddr_storage> found;
    for (addrinfo* a = res; rc == 0 && a != nullptr; a = a->ai_next) {
      if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage)) continue;
      sockaddr_storage s{};
      std::memcpy(&s, a->ai_addr, a->ai_addrlen);
      found.push_back(s);
    }
    if (res != nullptr) ::freeaddrinfo(res);
    std::lock_guard lock(lookup->m);
    lookup->rc = rc;
    lookup->addrs = std::move(found);
    lookup->done = true;
  }).detach();

  std::uint64_t deadline = platform::tickCount() + static_cast<std::uint64_t>(std::max(TimeOut, 0));
  ReportStatus("Timer On", kDetail);
  for (;;) {
    {
      std::lock_guard lock(lookup->m);
      if (lookup->done) {
        out = lookup->addrs;
        break;
      }
    }
    if (cancel_) {
      ReportStatus("Host Lookup Canceled", kFailure);
      throw ESockError("Host Lookup Canceled");
    }
    if (platform::tickCount() >= deadline) {
      ReportStatus("Timer Triggered", kDetail);
      ReportStatus("Host Lookup Timed Out", kFailure);
      return out;
    }
    platform::sleepMs(2);
    Pump();
  }
  ReportStatus("Timer Off", kDetail);
  if (out.empty()) {
    ReportStatus("Host Lookup Failed", kFailure);
    return out;
  }
  // IPv4 first, each family in the resolver's order.
  std::stable_partition(out.begin(), out.end(), [](const sockaddr_storage& s) { return s.ss_family == AF_INET; });
  if (OnHostResolved) OnHostResolved();
  return out;
}

bool TTarnSocket::TryConnect(const sockaddr_storage& addr, std::uint64_t deadline, std::string& why) {
  int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    why = SystemError(errno);
    ReportStatus("Error creating Data Connection", kFailure);
    throw ESockError("Error creating Data Connection", why);
  }
  socklen_t len = addr.ss_family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
  int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), len);
  if (rc != 0 && errno != EINPROGRESS && errno != EINTR) {
    ReportStatus("Looking Up Error Message", kDetail);
    why = SystemError(errno);
    ::close(fd);
    return false;
  }
  if (rc != 0) {
    Wait w = WaitReady(fd, true, deadline);
    if (w != Wait::Ready) {
      ::close(fd);
      if (OnConnectionFailed) OnConnectionFailed();
      const char* text = w == Wait::Cancelled ? "Connection Canceled" : "Connection Timed out";
      ReportStatus(text, kFailure);
      throw ESockError(text);
    }
    int err = 0;
    socklen_t errLen = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &errLen) != 0) err = errno;
    if (err != 0) {
      ReportStatus("Looking Up Error Message", kDetail);
      why = SystemError(err);
      ::close(fd);
      return false;
    }
  }
  fd_ = fd;
  return true;
}

void TTarnSocket::SocketConnect() {
  ReportStatus("Connecting", kAction);
  if (Connected()) {
    ReportStatus("Already connected", kFailure);
    throw ESockError("Already connected");
  }
  std::vector<sockaddr_storage> addrs = Resolve();
  bool asked = false;
  while (addrs.empty()) {
    if (!asked && OnInvalidHost) {
      asked = true;
      bool handled = false;
      OnInvalidHost(handled);
      if (handled) {
        addrs = Resolve();
        continue;
      }
    }
    ReportStatus("Null Remote Address", kFailure);
    throw ESockError("Null Remote Address");
  }
  std::uint64_t deadline = platform::tickCount() + static_cast<std::uint64_t>(std::max(TimeOut, 0));
  std::string why;
  for (const sockaddr_storage& addr : addrs) {
    if (TryConnect(addr, deadline, why)) {
      lines_.Clear();
      return;
    }
  }
  if (OnConnectionFailed) OnConnectionFailed();
  ReportStatus("Connection Failed", kFailure);
  throw ESockError("Connection Failed", why);
}

void TTarnSocket::Connect() {
  BusyScope busy(*this);
  cancel_ = false;
  SocketConnect();
  if (OnConnect) OnConnect();
}

void TTarnSocket::Drop() {
  tls_.reset();
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  lines_.Clear();
  if (OnDisconnect) OnDisconnect();
}

void TTarnSocket::Disconnect() {
  if (!Connected()) return;
  if (Waiting()) {
    // Called from inside a wait of this connection: stop that wait instead; its
    // caller closes the connection.
    Cancel();
    return;
  }
  ReportStatus("Disconnecting", kStep);
  if (tls_) tls_->Shutdown();
  Drop();
}

void TTarnSocket::RawWrite(const char* data, std::size_t n, CancelKind kind) {
  using IoState = mail::TTlsChannel::IoState;
  while (n > 0) {
    if (cancel_) ThrowCancelled(kind);
    if (fd_ < 0) throw ESockError("Not Connected");
    std::size_t put = 0;
    if (tls_) {
      IoState st = tls_->Write(data, n, put);
      if (st == IoState::WantRead || st == IoState::WantWrite) {
        WaitIo(st == IoState::WantWrite, kind);
        continue;
      }
      if (st != IoState::Done) {
        std::string why = tls_->LastError();
        Drop();
        ReportStatus("Not Connected", kFailure);
        throw ESockError("Not Connected", why);
      }
    } else {
      ssize_t w = ::send(fd_, data, n, MSG_NOSIGNAL);
      if (w < 0 && errno == EINTR) continue;
      if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        WaitIo(true, kind);
        continue;
      }
      if (w <= 0) {
        std::string why = SystemError(errno);
        Drop();
        ReportStatus("Not Connected", kFailure);
        throw ESockError("Not Connected", why);
      }
      put = static_cast<std::size_t>(w);
    }
    data += put;
    n -= put;
  }
}

std::size_t TTarnSocket::RawRead(char* buffer, std::size_t n) {
  using IoState = mail::TTlsChannel::IoState;
  for (;;) {
    if (cancel_) ThrowCancelled(CancelKind::Read);
    if (fd_ < 0) throw ESockError("Not Connected");
    std::string why;
    if (tls_) {
      std::size_t got = 0;
      IoState st = tls_->Read(buffer, n, got);
      if (st == IoState::Done && got > 0) return got;
      if (st == IoState::WantRead || st == IoState::WantWrite) {
        WaitIo(st == IoState::WantWrite, CancelKind::Read);
        continue;
      }
      why = st == IoState::Failed ? tls_->LastError() : "the server closed the connection";
    } else {
      ssize_t r = ::recv(fd_, buffer, n, 0);
      if (r > 0) return static_cast<std::size_t>(r);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        WaitIo(false, CancelKind::Read);
        continue;
      }
      why = r == 0 ? "the server closed the connection" : SystemError(errno);
    }
    Drop();
    ReportStatus("Not Connected", kFailure);
    throw ESockError("Not Connected", why);
  }
}

void TTarnSocket::Write(std::string_view data) {
  ReportStatus("Write", kDetail);
  if (!Connected()) throw ESockError("Not Connected");
  RawWrite(data.data(), data.size(), CancelKind::Send);
}

void TTarnSocket::Writeln(std::string_view line) {
  ReportStatus("Writeln", kDetail);
  if (!Connected()) throw ESockError("Not Connected");
  std::string text(line);
  text.append("\r\n");
  RawWrite(text.data(), text.size(), CancelKind::Send);
}

std::string TTarnSocket::ReadLn() {
  ReportStatus("ReadLn", kDetail);
  if (!Connected()) throw ESockError("Not Connected");
  for (;;) {
    if (auto line = lines_.NextLine()) return *line;
    char buffer[4096];
    std::size_t n = RawRead(buffer, sizeof buffer);
    lines_.Append(std::string_view(buffer, n));
    if (lines_.Overflowed()) {
      Drop();
      ReportStatus("Not Connected", kFailure);
      throw ESockError("Not Connected", "the server sent a reply line longer than " +
                                            std::to_string(mail::TReplyLineBuffer::kDefaultLimit) + " bytes");
    }
  }
}

std::string TTarnSocket::Transaction(const std::string& command) {
  ReportStatus("Transaction", kAction);
  Writeln(command);
  std::string line = ReadLn();
  SetReply(line);
  ReportStatus(line, kReply);
  return line;
}

void TTarnSocket::SendStream(TByteSource& source) {
  BusyScope busy(*this);
  ReportStatus("SendStream", kAction);
  if (!Connected()) throw ESockError("Not Connected");
  // The whole send counts as a wait: a Disconnect from an event handler or from the
  // pump cancels it instead of closing the connection under it.
  ++waiting_;
  struct Leave {
    int& w;
    ~Leave() { --w; }
  } leave{waiting_};
  std::vector<char> buffer(kPacket);
  for (;;) {
    if (cancel_) ThrowCancelled(CancelKind::Send);
    ReportStatus("WriteFromStream", kDetail);
    std::size_t n = source.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    ReportStatus("Sending Buffer", kDetail);
    RawWrite(buffer.data(), n, CancelKind::Send);
    BytesSent = source.Position();
    if (OnPacketSent) OnPacketSent();
    platform::pumpEvents();
  }
}

void TTarnSocket::StartTls(const std::string& trustFile) {
  using IoState = mail::TTlsChannel::IoState;
  if (!Connected()) throw ESockError("Not Connected");
  if (lines_.Pending() > 0) {
    // Text sent after the server's go-ahead but before the handshake could be an
    // injected reply; it must never be read as coming from the secured server.
    Drop();
    throw ESockError("TLS handshake failed", "the server sent data before the handshake");
  }
  try {
    tls_ = std::make_unique<mail::TTlsChannel>(fd_, Host, trustFile);
  } catch (const std::exception& e) {
    Drop();
    throw ESockError("TLS handshake failed", e.what());
  }
  std::uint64_t deadline = platform::tickCount() + static_cast<std::uint64_t>(std::max(TimeOut, 0));
  for (;;) {
    IoState st = tls_->Handshake();
    if (st == IoState::Done) break;
    if (st == IoState::WantRead || st == IoState::WantWrite) {
      Wait w = WaitReady(fd_, st == IoState::WantWrite, deadline);
      if (w == Wait::Ready) continue;
      Drop();
      const char* text = w == Wait::Cancelled ? "Connection Canceled" : "Connection Timed out";
      ReportStatus(text, kFailure);
      throw ESockError(text);
    }
    bool certificate = tls_->CertificateRefused();
    std::string why = tls_->LastError();
    Drop();
    const char* text = certificate ? "Certificate check failed" : "TLS handshake failed";
    ReportStatus(text, kFailure);
    throw ESockError(text, why);
  }
}

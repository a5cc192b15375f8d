// TTarnSocket: a TCP client connection for the mail client: host lookup and
// connect bounded by a time-out, line-oriented reading and writing, sending a long
// stream, an optional TLS upgrade, status reports and cancel.
//
// Everything runs on the caller's thread (the user-interface thread). Every wait
// (lookup, connect, reading a reply, a full send buffer) polls in 2 ms steps and
// calls the pump hook between them, so the window stays alive and a Cancel click
// reaches Cancel() while the call is still running; the wait then ends at once.
//
// Status texts reach OnStatus only when their level is at most ReportLevel; Status
// always holds the last one. Failures are exceptions: ESockError for the
// connection, EAbortError for a wait cancelled by the user.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include <sys/socket.h>

#include <vector>

#include "mail/smtpreply.h"

namespace mail {
class TTlsChannel;
}

// A failure of the connection. what() is one of the fixed status texts ("Connection
// Failed", "Not Connected", ...); Detail() says more where the system did.
class ESockError : public std::runtime_error {
 public:
  explicit ESockError(const std::string& text, std::string detail = {})
      : std::runtime_error(text), detail_(std::move(detail)) {}
  const std::string& Detail() const { return detail_; }

 private:
  std::string detail_;
};

// A wait or send stopped by the user ("Socket send aborted", "Socket readln aborted").
class EAbortError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Where SendStream takes its bytes from.
class TByteSource {
 public:
  virtual ~TByteSource() = default;
  // Up to max bytes into buffer; 0 at the end.
  virtual std::size_t Read(char* buffer, std::size_t max) = 0;
  // Progress of the source in its own units (SendStream copies it to BytesSent).
  virtual std::uint64_t Position() const = 0;
};

class TTarnSocket {
 public:
  TTarnSocket();
  virtual ~TTarnSocket();
  TTarnSocket(const TTarnSocket&) = delete;
  TTarnSocket& operator=(const TTarnSocket&) = delete;

  // ---- published ------------------------------------------------------------------
  std::string Host;  // a name or a numeric address
  int Port = 0;
  int TimeOut = 30000;        // milliseconds allowed for the host lookup and for the connect
  int ReplyTimeOut = 120000;  // milliseconds a reply or a full send buffer may keep us waiting
  int ReportLevel = 0;
  std::function<void()> OnDisconnect;
  std::function<void()> OnConnect;
  std::function<void(bool& Handled)> OnInvalidHost;  // no address for Host: correct Host and set Handled to retry
  std::function<void()> OnHostResolved;
  std::function<void(const std::string& Status)> OnStatus;
  std::function<void()> OnConnectionFailed;
  std::function<void()> OnPacketSent;  // after each packet of SendStream

  // ---- state ------------------------------------------------------------------------
  bool Connected() const { return fd_ >= 0; }
  const std::string& Status() const { return status_; }
  const std::string& TransactionReply() const { return reply_; }
  std::int64_t ReplyNumber() const { return replyNumber_; }
  std::uint64_t BytesTotal = 0;
  std::uint64_t BytesSent = 0;
  bool Cancelled() const { return cancel_; }
  bool Busy() const { return busy_ > 0; }
  bool TlsActive() const { return tls_ != nullptr; }
  // The TLS protocol agreed on ("TLSv1.3"), or empty.
  std::string TlsVersion() const;

  // ---- operations -------------------------------------------------------------------
  // Looks up Host, connects to Port (addresses tried in turn, IPv4 first) and raises
  // OnConnect. ESockError: "Already connected", "Null Remote Address" (no address
  // for Host), "Host Lookup Canceled", "Connection Timed out", "Connection
  // Canceled", "Connection Failed", "Error creating Data Connection".
  void Connect();
  // Closes the connection (nothing is said to the server) and raises OnDisconnect.
  // Does nothing when not connected.
  void Disconnect();
  // Asks the running lookup, connect, wait or send to stop.
  void Cancel();
  // Writes command + CR LF, reads one reply line; sets TransactionReply and
  // ReplyNumber and returns the line.
  std::string Transaction(const std::string& command);
  void Write(std::string_view data);
  void Writeln(std::string_view line);
  // The next line the server sent, without its line end.
  std::string ReadLn();
  // Sends everything source gives, then sets BytesSent = source.Position() after
  // each packet and raises OnPacketSent. EAbortError "Socket send aborted" on cancel.
  void SendStream(TByteSource& source);
  // Upgrades the connection to TLS, checking the server's certificate against
  // Host. trustFile: further trusted certificates (PEM), or empty. ESockError with
  // the reason when the handshake or the certificate check fails; the connection is
  // then closed.
  void StartTls(const std::string& trustFile);

 protected:
  // The TCP part of Connect, without OnConnect.
  void SocketConnect();
  void ReportStatus(const std::string& text, int level);
  // Sets the reply state from a line read.
  void SetReply(const std::string& line);
  void ClearCancel() { cancel_ = false; }
  // Marks a running operation (nested calls count).
  struct BusyScope {
    explicit BusyScope(TTarnSocket& s) : s_(s) { ++s_.busy_; }
    ~BusyScope() { --s_.busy_; }
    TTarnSocket& s_;
  };
  // True while a wait of this socket is running (a call from inside the pump must
  // not start another exchange on the same connection).
  bool Waiting() const { return waiting_ > 0; }

 private:
  enum class Wait { Ready, TimedOut, Cancelled };
  enum class CancelKind { Read, Send };
  // Waits until fd is readable (or writable) or the tick passes deadline.
  Wait WaitReady(int fd, bool forWrite, std::uint64_t deadline);
  // Waits for the connection within ReplyTimeOut; throws on time-out or cancel.
  void WaitIo(bool forWrite, CancelKind kind);
  [[noreturn]] void ThrowCancelled(CancelKind kind);
  std::vector<sockaddr_storage> Resolve();
  bool TryConnect(const sockaddr_storage& addr, std::uint64_t deadline, std::string& why);
  void RawWrite(const char* data, std::size_t n, CancelKind kind);
  std::size_t RawRead(char* buffer, std::size_t n);
  // Closes the connection after a failure and raises OnDisconnect.
  void Drop();
  // Runs the pump hook; the connection counts as waiting meanwhile.
  void Pump();

  int fd_ = -1;
  std::unique_ptr<mail::TTlsChannel> tls_;
  mail::TReplyLineBuffer lines_;
  std::string status_;
  std::string reply_;
  std::int64_t replyNumber_ = 0;
  bool cancel_ = false;
  int busy_ = 0;
  int waiting_ = 0;
};

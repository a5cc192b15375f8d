#include "rarlib/decoder.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

#include "rarlib/kvrar.h"
#include "rarlib/rarcrypt.h"

namespace rarlib {

namespace {

// Messages are a type byte, a 32-bit payload length and the payload.
// Parent to child: 'S' more input pieces, 'Z' no more input, 'R' process an entry.
// Child to parent: 'P' progress, 'M' needs input, 'H' entry header, 'D' data,
// 'E' end of the entry.
constexpr std::size_t kFrame = 5;
constexpr std::size_t kMaxData = 1024 * 1024;  // data bytes in one message
constexpr std::size_t kMaxMessage = kMaxData + 64 * 1024;

void put32(std::string& s, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
void put64(std::string& s, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) s.push_back(static_cast<char>(v >> (8 * i)));
}
std::uint32_t get32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint64_t get64(const std::uint8_t* p) { return get32(p) | (static_cast<std::uint64_t>(get32(p + 4)) << 32); }

// A cursor over a received payload; a short payload reads as zeros and fails.
struct Payload {
  const std::uint8_t* p;
  std::size_t n, pos = 0;
  bool ok = true;
  std::uint64_t u(int bytes) {
    if (n - pos < static_cast<std::size_t>(bytes)) {
      ok = false;
      return 0;
    }
    std::uint64_t v = bytes == 8 ? get64(p + pos) : bytes == 4 ? get32(p + pos) : p[pos];
    pos += static_cast<std::size_t>(bytes);
    return v;
  }
  std::string str() {
    std::uint64_t len = u(4);
    if (!ok || len > n - pos) {
      ok = false;
      return {};
    }
    std::string s(reinterpret_cast<const char*>(p + pos), static_cast<std::size_t>(len));
    pos += static_cast<std::size_t>(len);
    return s;
  }
};

bool writeFully(int fd, const void* data, std::size_t size, bool socket) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    ssize_t n = socket ? ::send(fd, p, size, MSG_NOSIGNAL) : ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool readFully(int fd, void* data, std::size_t size) {
  auto* p = static_cast<std::uint8_t*>(data);
  while (size > 0) {
    ssize_t n = ::read(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string frame(char type, const std::string& payload) {
  std::string s(1, type);
  put32(s, static_cast<std::uint32_t>(payload.size()));
  return s + payload;
}

std::int64_t nowNs() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// ---- the child ----------------------------------------------------------

class Child {
 public:
  Child(int in, int out, std::vector<Segment> input) : in_(in), out_(out), input_(input.begin(), input.end()) {}

  [[noreturn]] void run() {
    std::setlocale(LC_ALL, "C.UTF-8");
    for (;;) {
      char type = 0;
      std::string payload;
      if (!receive(type, payload)) ::_exit(0);
      if (type == 'S' || type == 'Z') {
        take(type, payload);
      } else if (type == 'R') {
        Payload p{reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()};
        int index = static_cast<int>(p.u(4));
        bool data = p.u(1) != 0;
        serve(index, data);
      } else {
        ::_exit(2);
      }
    }
  }

 private:
  bool receive(char& type, std::string& payload) {
    std::uint8_t head[kFrame];
    if (!readFully(in_, head, kFrame)) return false;
    std::uint32_t len = get32(head + 1);
    if (len > kMaxMessage) return false;
    type = static_cast<char>(head[0]);
    payload.resize(len);
    return readFully(in_, payload.data(), len);
  }

  void send(char type, const std::string& payload) {
    if (!writeFully(out_, frame(type, payload).data(), kFrame + payload.size(), false)) ::_exit(0);
  }

  void sendData(const void* data, std::size_t size) {
    while (size > 0) {
      std::size_t n = std::min(size, kMaxData);
      std::string head(1, 'D');
      put32(head, static_cast<std::uint32_t>(n));
      if (!writeFully(out_, head.data(), head.size(), false) || !writeFully(out_, data, n, false)) ::_exit(0);
      data = static_cast<const std::uint8_t*>(data) + n;
      size -= n;
    }
  }

  void take(char type, const std::string& payload) {
    if (type == 'Z') {
      ended_ = true;
      return;
    }
    Payload p{reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size()};
    while (p.ok && p.pos < p.n) {
      Segment s;
      s.path = p.str();
      s.bytes = p.str();
      s.offset = p.u(8);
      s.length = s.path.empty() ? s.bytes.size() : p.u(8);
      if (!s.path.empty()) {
        s.key = p.str();
        s.iv = p.str();
        s.deliver = p.u(8);
      }
      if (p.ok) input_.push_back(std::move(s));
    }
  }

  // libarchive's reader: the pieces in order, asking the parent for more.
  static la_ssize_t readCallback(struct archive*, void* self, const void** buffer) {
    return static_cast<Child*>(self)->read(buffer);
  }
  static la_int64_t skipCallback(struct archive*, void* self, la_int64_t request) {
    return static_cast<Child*>(self)->skip(request);
  }

  la_ssize_t read(const void** buffer) {
    send('P', {});
    while (input_.empty()) {
      if (ended_) return 0;
      send('M', {});
      char type = 0;
      std::string payload;
      if (!receive(type, payload)) ::_exit(0);
      if (type != 'S' && type != 'Z') ::_exit(2);
      take(type, payload);
    }
    Segment& s = input_.front();
    if (s.path.empty()) {
      buffer_ = std::move(s.bytes);
      input_.pop_front();
      *buffer = buffer_.data();
      return static_cast<la_ssize_t>(buffer_.size());
    }
    int fd = file(s.path);
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(s.length, kMaxData));
    const bool encrypted = !s.key.empty();
    if (encrypted && want >= kAesBlock) want -= want % kAesBlock;
    buffer_.resize(want);
    ssize_t n = fd < 0 ? -1 : ::pread(fd, buffer_.data(), want, static_cast<off_t>(s.offset));
    while (n < 0 && errno == EINTR) n = ::pread(fd, buffer_.data(), want, static_cast<off_t>(s.offset));
    if (n <= 0) {
      input_.pop_front();  // a file shorter than its headers said: the stream ends here
      input_.clear();
      ended_ = true;
      return n < 0 ? ARCHIVE_FATAL : 0;
    }
    if (encrypted) {
      // Whole blocks are decrypted; a shorter tail (a damaged size) goes as it is.
      auto* data = reinterpret_cast<std::uint8_t*>(buffer_.data());
      if (!s.cipherStarted) {
        if (s.iv.size() != kAesBlock || !cipher_.start(s.key, reinterpret_cast<const std::uint8_t*>(s.iv.data())))
          return ARCHIVE_FATAL;
        s.cipherStarted = true;
      }
      const std::size_t whole = static_cast<std::size_t>(n) - static_cast<std::size_t>(n) % kAesBlock;
      if (!cipher_.update(data, whole, data)) return ARCHIVE_FATAL;
    }
    std::size_t give = static_cast<std::size_t>(n);
    if (encrypted) {
      give = static_cast<std::size_t>(std::min<std::uint64_t>(give, s.deliver));
      s.deliver -= give;
    }
    s.offset += static_cast<std::uint64_t>(n);
    s.length -= static_cast<std::uint64_t>(n);
    if (s.length == 0) input_.pop_front();
    if (give == 0) return read(buffer);  // nothing but padding was left
    *buffer = buffer_.data();
    return static_cast<la_ssize_t>(give);
  }

  la_int64_t skip(la_int64_t request) {
    la_int64_t done = 0;
    // Encrypted pieces are read, not skipped: the cipher needs every block.
    while (done < request && !input_.empty() && !input_.front().path.empty() && input_.front().key.empty()) {
      Segment& s = input_.front();
      std::uint64_t n = std::min<std::uint64_t>(s.length, static_cast<std::uint64_t>(request - done));
      s.offset += n;
      s.length -= n;
      done += static_cast<la_int64_t>(n);
      if (s.length == 0) input_.pop_front();
    }
    if (done > 0) send('P', {});
    return done;
  }

  int file(const std::string& path) {
    auto it = files_.find(path);
    if (it != files_.end()) return it->second;
    if (files_.size() > 16) {  // volumes are read in order: keep few open
      for (auto& f : files_) ::close(f.second);
      files_.clear();
    }
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) files_[path] = fd;
    return fd;
  }

  void end(int code, bool fatal, const std::string& message) {
    std::string p;
    put32(p, static_cast<std::uint32_t>(code));
    p.push_back(static_cast<char>(fatal ? 1 : 0));
    put32(p, static_cast<std::uint32_t>(message.size()));
    p += message;
    send('E', p);
  }

  std::string error() const {
    const char* e = archive_ ? archive_error_string(archive_) : nullptr;
    return e ? e : "the decoder gave up";
  }

  bool openArchive() {
    archive_ = archive_read_new();
    if (!archive_) return false;
    archive_read_support_format_rar(archive_);
    archive_read_support_format_rar5(archive_);
    archive_read_set_read_callback(archive_, readCallback);
    archive_read_set_skip_callback(archive_, skipCallback);
    archive_read_set_callback_data(archive_, this);
    return archive_read_open1(archive_) == ARCHIVE_OK;
  }

  void serve(int index, bool data) {
    if (dead_) return end(RAR_BAD_DATA, true, deadReason_);
    if (!archive_ && !openArchive()) return die(error());
    if (index < current_) return end(RAR_BAD_PARAMS, true, "asked for an entry already passed");
    while (current_ < index) {
      int r = archive_read_next_header(archive_, &entry_);
      if (r == ARCHIVE_EOF) return die("the archive ends before this entry");
      if (r < ARCHIVE_WARN) return die(error());
      ++current_;
    }
    sendHeader();
    if (!data) return end(0, false, {});
    const void* block = nullptr;
    std::size_t size = 0;
    la_int64_t offset = 0;
    std::uint64_t produced = 0;
    const la_int64_t declared = archive_entry_size_is_set(entry_) ? archive_entry_size(entry_) : -1;
    for (;;) {
      int r = archive_read_data_block(archive_, &block, &size, &offset);
      if (r == ARCHIVE_EOF) return end(0, false, {});
      if (r < ARCHIVE_WARN) {
        dead_ = r == ARCHIVE_FATAL;
        deadReason_ = error();
        return end(RAR_BAD_DATA, dead_, deadReason_);
      }
      // A hole before the block (never in RAR data, but the interface allows it).
      if (offset > 0 && static_cast<std::uint64_t>(offset) > produced) {
        std::uint64_t gap = static_cast<std::uint64_t>(offset) - produced;
        if (declared >= 0 && gap > static_cast<std::uint64_t>(declared)) return die("data offset beyond the entry");
        std::string zeros(static_cast<std::size_t>(std::min<std::uint64_t>(gap, kMaxData)), '\0');
        for (std::uint64_t left = gap; left > 0;) {
          std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, zeros.size()));
          sendData(zeros.data(), n);
          left -= n;
        }
        produced += gap;
      }
      sendData(block, size);
      produced += size;
    }
  }

  void die(const std::string& why) {
    dead_ = true;
    deadReason_ = why;
    end(RAR_BAD_DATA, true, why);
  }

  void sendHeader() {
    std::string p;
    la_int64_t size = archive_entry_size_is_set(entry_) ? archive_entry_size(entry_) : -1;
    put64(p, size < 0 ? 0 : static_cast<std::uint64_t>(size));
    p.push_back(static_cast<char>(size < 0 ? 0 : 1));
    put32(p, static_cast<std::uint32_t>(archive_entry_filetype(entry_)));
    auto text = [&](const char* s) {
      std::string t = s ? s : "";
      put32(p, static_cast<std::uint32_t>(t.size()));
      p += t;
    };
    const char* name = archive_entry_pathname_utf8(entry_);
    text(name ? name : archive_entry_pathname(entry_));
    text(archive_entry_symlink_utf8(entry_));
    text(archive_entry_hardlink_utf8(entry_));
    send('H', p);
  }

  int in_, out_;
  std::deque<Segment> input_;
  bool ended_ = false;
  std::string buffer_;
  std::map<std::string, int> files_;
  CbcDecryptor cipher_;
  struct archive* archive_ = nullptr;
  struct archive_entry* entry_ = nullptr;
  int current_ = -1;  // index of the entry whose header was read last (relative)
  bool dead_ = false;
  std::string deadReason_;
};

}  // namespace

[[noreturn]] void runDecoderChild(int in, int out, std::vector<Segment> input) {
  Child child(in, out, std::move(input));
  child.run();
}

DecoderLimits defaultLimits() {
  DecoderLimits l;
  if (const char* v = std::getenv("KVRAR_STALL_MS")) {
    long ms = std::strtol(v, nullptr, 10);
    if (ms >= 50 && ms <= 600000) l.stallCpuMs = static_cast<int>(ms);
  }
  return l;
}

// ---- the parent ---------------------------------------------------------

Decoder::~Decoder() { stop(); }

bool Decoder::start(int first, std::vector<Segment> input, MoreInput more, const DecoderLimits& limits, int& error) {
  return startWith([&input](int in, int out) { runDecoderChild(in, out, std::move(input)); }, first, std::move(more),
                   limits, error);
}

bool Decoder::startWith(const ChildMain& childMain, int first, MoreInput more, const DecoderLimits& limits,
                        int& error) {
  stop();
  int cmd[2], data[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, cmd) != 0) {
    error = RAR_NO_MEMORY;
    return false;
  }
  if (::pipe2(data, O_CLOEXEC) != 0) {
    ::close(cmd[0]);
    ::close(cmd[1]);
    error = RAR_NO_MEMORY;
    return false;
  }
  ::fcntl(data[1], F_SETPIPE_SZ, 1024 * 1024);  // fewer wake-ups for big entries; best effort
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid < 0) {
    for (int fd : {cmd[0], cmd[1], data[0], data[1]}) ::close(fd);
    error = RAR_NO_MEMORY;
    return false;
  }
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(0);
    ::signal(SIGPIPE, SIG_DFL);
    ::close(cmd[0]);
    ::close(data[0]);
    childMain(cmd[1], data[1]);
    ::_exit(3);
  }
  ::close(cmd[1]);
  ::close(data[1]);
  pid_ = pid;
  toChild_ = cmd[0];
  fromChild_ = data[0];
  first_ = next_ = first;
  limits_ = limits;
  more_ = std::move(more);
  buf_.clear();
  return true;
}

void Decoder::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
  }
  pid_ = -1;
  if (toChild_ >= 0) ::close(toChild_);
  if (fromChild_ >= 0) ::close(fromChild_);
  toChild_ = fromChild_ = -1;
  buf_.clear();
}

bool Decoder::send(char type, const void* payload, std::size_t size) {
  std::string s(1, type);
  put32(s, static_cast<std::uint32_t>(size));
  s.append(static_cast<const char*>(payload), size);
  return writeFully(toChild_, s.data(), s.size(), true);
}

bool Decoder::sendSegments(const std::vector<Segment>& segs) {
  std::string p;
  for (const Segment& s : segs) {
    put32(p, static_cast<std::uint32_t>(s.path.size()));
    p += s.path;
    put32(p, static_cast<std::uint32_t>(s.bytes.size()));
    p += s.bytes;
    put64(p, s.offset);
    if (!s.path.empty()) {
      put64(p, s.length);
      put32(p, static_cast<std::uint32_t>(s.key.size()));
      p += s.key;
      put32(p, static_cast<std::uint32_t>(s.iv.size()));
      p += s.iv;
      put64(p, s.deliver);
    }
  }
  return send('S', p.data(), p.size());
}

int Decoder::fail(int code) {
  stop();
  return code;
}

std::int64_t Decoder::childCpuNs() const {
  clockid_t cid;
  struct timespec ts {};
  if (pid_ <= 0 || ::clock_getcpuclockid(pid_, &cid) != 0 || ::clock_gettime(cid, &ts) != 0) return 0;
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int Decoder::process(int index, bool data, DecodedHeader& header, const DataSink& sink, std::string& detail) {
  if (pid_ <= 0) {
    detail = "the decoder is not running";
    return RAR_BAD_DATA;
  }
  if (index < next_) {
    detail = "entry already passed";
    return RAR_BAD_PARAMS;
  }
  std::string req;
  // The child counts entries from the start of its stream.
  put32(req, static_cast<std::uint32_t>(index - first_));
  req.push_back(static_cast<char>(data ? 1 : 0));
  if (!send('R', req.data(), req.size())) {
    detail = "the decoder ended unexpectedly";
    return fail(RAR_BAD_DATA);
  }
  next_ = index + 1;
  std::int64_t lastWall = nowNs();
  std::int64_t lastCpu = childCpuNs();
  std::int64_t lastBeat = lastWall;
  bool gotHeader = false;
  std::size_t have = buf_.size();
  for (;;) {
    // Whole messages in the buffer first.
    std::size_t used = 0;
    while (have - used >= kFrame) {
      const std::uint8_t* m = buf_.data() + used;
      std::uint32_t len = get32(m + 1);
      if (len > kMaxMessage) {
        detail = "the decoder broke the protocol";
        return fail(RAR_BAD_DATA);
      }
      if (have - used < kFrame + len) break;
      Payload p{m + kFrame, len};
      const char type = static_cast<char>(m[0]);
      used += kFrame + len;
      lastWall = nowNs();
      lastCpu = childCpuNs();
      if (type == 'P') continue;
      if (type == 'M') {
        std::vector<Segment> more;
        bool ok = more_ && more_(more);
        if (!(ok ? sendSegments(more) : send('Z', nullptr, 0))) {
          detail = "the decoder ended unexpectedly";
          return fail(RAR_BAD_DATA);
        }
      } else if (type == 'H') {
        header.size = p.u(8);
        header.sizeKnown = p.u(1) != 0;
        header.fileType = static_cast<unsigned>(p.u(4));
        header.name = p.str();
        header.symlink = p.str();
        header.hardlink = p.str();
        gotHeader = p.ok;
      } else if (type == 'D') {
        if (!gotHeader) {
          detail = "the decoder broke the protocol";
          return fail(RAR_BAD_DATA);
        }
        if (int rc = sink(m + kFrame, len)) {
          buf_.clear();
          return fail(rc);
        }
      } else if (type == 'E') {
        int code = static_cast<int>(p.u(4));
        bool fatal = p.u(1) != 0;
        detail = p.str();
        buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(used));
        if (!p.ok || (code == 0 && !gotHeader)) {
          detail = "the decoder broke the protocol";
          return fail(RAR_BAD_DATA);
        }
        if (fatal) stop();
        return code;
      } else {
        detail = "the decoder broke the protocol";
        return fail(RAR_BAD_DATA);
      }
    }
    if (used > 0) {
      buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(used));
      have -= used;
    }
    // Then wait for more, with the heartbeat and the watch.
    struct pollfd pfd = {fromChild_, POLLIN, 0};
    int r = ::poll(&pfd, 1, limits_.heartbeatMs);
    if (r < 0 && errno != EINTR) {
      detail = "waiting for the decoder failed";
      return fail(RAR_BAD_DATA);
    }
    if (r > 0) {
      std::size_t want = std::max<std::size_t>(64 * 1024, kFrame + kMaxData);
      buf_.resize(have + want);
      ssize_t n = ::read(fromChild_, buf_.data() + have, want);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) n = -2;
      if (n == 0 || n == -1) {
        buf_.resize(have);
        detail = "the decoder ended unexpectedly";
        return fail(RAR_BAD_DATA);
      }
      have += n > 0 ? static_cast<std::size_t>(n) : 0;
      buf_.resize(have);
    }
    const std::int64_t now = nowNs();
    if (now - lastBeat >= static_cast<std::int64_t>(limits_.heartbeatMs) * 1000000) {
      lastBeat = now;
      if (int rc = sink(nullptr, 0)) {
        buf_.clear();
        return fail(rc);
      }
    }
    if (childCpuNs() - lastCpu > static_cast<std::int64_t>(limits_.stallCpuMs) * 1000000 ||
        now - lastWall > static_cast<std::int64_t>(limits_.stallWallMs) * 1000000) {
      detail = "the decoder made no progress; stopped";
      buf_.clear();
      return fail(RAR_BAD_DATA);
    }
  }
}

bool decodeMemoryArchive(const std::string& archive, std::size_t maxSize, std::string& out,
                         const DecoderLimits& limits) {
  Decoder d;
  int error = 0;
  Segment s;
  s.bytes = archive;
  if (!d.start(0, {std::move(s)}, nullptr, limits, error)) return false;
  DecodedHeader h;
  std::string detail;
  out.clear();
  int rc = d.process(
      0, true, h,
      [&](const std::uint8_t* data, std::size_t size) {
        if (out.size() + size > maxSize) return static_cast<int>(RAR_SMALL_BUF);
        out.append(reinterpret_cast<const char*>(data), size);
        return 0;
      },
      detail);
  return rc == 0;
}

}  // namespace rarlib

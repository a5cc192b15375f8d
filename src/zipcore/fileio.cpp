#include "zipcore/fileio.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "zipcore/sysio.h"

namespace zipcore {

bool writeAll(int fd, const void* data, std::size_t size) {
  auto p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = sysio::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool pwriteAll(int fd, const void* data, std::size_t size, std::uint64_t at) {
  auto p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = sysio::pwrite(fd, p, size, static_cast<off_t>(at));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    at += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

long long preadFull(int fd, void* data, std::size_t size, std::uint64_t at) {
  auto p = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t n = ::pread(fd, p + done, size - done, static_cast<off_t>(at + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(done);
}

CopyEnd copyRange(int in, std::uint64_t at, int out, std::uint64_t len) {
  // The kernel copies between most local files without the data passing through
  // here; other pairs (across some file systems, special files) get EXDEV,
  // EINVAL or the like and go through the buffer.
  constexpr std::size_t kPiece = 8 << 20;
  while (len > 0) {
    off_t from = static_cast<off_t>(at);
    const ssize_t n = ::copy_file_range(in, &from, out, nullptr, std::min<std::uint64_t>(len, kPiece), 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) return CopyEnd::WriteFailed;
      break;
    }
    if (n == 0) return CopyEnd::ShortInput;
    at += static_cast<std::uint64_t>(n);
    len -= static_cast<std::uint64_t>(n);
  }
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(len, 1 << 20)));
  while (len > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(len, buffer.size()));
    const long long n = preadFull(in, buffer.data(), want, at);
    if (n != static_cast<long long>(want)) return CopyEnd::ShortInput;
    if (!writeAll(out, buffer.data(), want)) return CopyEnd::WriteFailed;
    at += want;
    len -= want;
  }
  return CopyEnd::Done;
}

std::string errorText(int err) {
  char buf[256];
  // GNU strerror_r returns the text (maybe not in buf).
  return ::strerror_r(err, buf, sizeof buf);
}

}  // namespace zipcore

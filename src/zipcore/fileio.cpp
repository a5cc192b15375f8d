#include "zipcore/fileio.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

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

std::string errorText(int err) {
  char buf[256];
  // GNU strerror_r returns the text (maybe not in buf).
  return ::strerror_r(err, buf, sizeof buf);
}

}  // namespace zipcore

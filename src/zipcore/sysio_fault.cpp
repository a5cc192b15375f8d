// Fault-injecting system calls, linked only into the test builds of the libraries
// (libkvzip_fault.so, libkvunzip_fault.so), where they take the place of
// sysio_posix.cpp; the production libraries export nothing of this.
#include "zipcore/sysio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> g_kind{zipcore::sysio::kFaultNone};
std::atomic<long long> g_left{0};
std::atomic<int> g_error{0};

// Takes up to want units from the budget of kind; 0 when the fault has struck.
long long take(int kind, long long want) {
  if (g_kind.load() != kind) return want;
  long long left = g_left.load();
  while (left > 0) {
    long long n = std::min(left, want);
    if (g_left.compare_exchange_weak(left, left - n)) return n;
  }
  errno = g_error.load();
  return 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void KvZipLibTestFault(int kind, long long after, int error) {
  g_kind.store(zipcore::sysio::kFaultNone);
  g_left.store(after);
  g_error.store(error);
  g_kind.store(kind);
}

namespace zipcore::sysio {

ssize_t write(int fd, const void* data, std::size_t size) {
  if (size == 0) return ::write(fd, data, 0);
  long long n = take(kFaultWrite, static_cast<long long>(size));
  return n == 0 ? -1 : ::write(fd, data, static_cast<std::size_t>(n));
}

ssize_t pwrite(int fd, const void* data, std::size_t size, off_t at) {
  if (size == 0) return ::pwrite(fd, data, 0, at);
  long long n = take(kFaultWrite, static_cast<long long>(size));
  return n == 0 ? -1 : ::pwrite(fd, data, static_cast<std::size_t>(n), at);
}

int openat(int dirfd, const char* path, int flags, mode_t mode) {
  bool creates = (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE;
  if (creates && take(kFaultCreate, 1) == 0) return -1;
  return ::openat(dirfd, path, flags, mode);
}

int mkdirat(int dirfd, const char* path, mode_t mode) {
  if (take(kFaultCreate, 1) == 0) return -1;
  return ::mkdirat(dirfd, path, mode);
}

int fsync(int fd) {
  if (take(kFaultSync, 1) == 0) return -1;
  return ::fsync(fd);
}

}  // namespace zipcore::sysio

#include "zipengine/zipinputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

ZipInputFile::~ZipInputFile() { close(); }

bool ZipInputFile::open(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

void ZipInputFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  size_ = 0;
}

std::size_t ZipInputFile::readAt(std::uint64_t offset, void* buf, std::size_t n) const {
  if (fd_ < 0 || offset >= size_) return 0;
  if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
  auto* out = static_cast<unsigned char*>(buf);
  std::size_t done = 0;
  while (done < n) {
    if (offset + done > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
    ssize_t got = ::pread(fd_, out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

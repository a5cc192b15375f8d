#include "zipcore/inputfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

namespace zipcore {

bool InputFile::open(const std::string& path) {
  close();
  return adopt(platform::UniqueFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)));
}

bool InputFile::adopt(platform::UniqueFd fd) {
  close();
  if (!fd.valid()) return false;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return false;
  if (!S_ISREG(st.st_mode) || st.st_size < 0) {
    errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    return false;
  }
  fd_ = std::move(fd);
  size_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

void InputFile::close() {
  fd_.reset();
  size_ = 0;
}

std::size_t InputFile::readAt(std::uint64_t offset, void* buf, std::size_t n) const {
  if (!fd_.valid() || offset >= size_) return 0;
  if (n > size_ - offset) n = static_cast<std::size_t>(size_ - offset);
  auto* out = static_cast<unsigned char*>(buf);
  std::size_t done = 0;
  while (done < n) {
    if (offset + done > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) break;
    ssize_t got = ::pread(fd_.get(), out + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool InputFile::readExact(std::uint64_t offset, std::string& out, std::size_t n) const {
  // Never allocate for bytes the file does not hold.
  if (offset > size_ || n > size_ - offset) return false;
  out.resize(n);
  return readExact(offset, out.data(), n);
}

}  // namespace zipcore

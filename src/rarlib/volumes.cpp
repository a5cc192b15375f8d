#include "rarlib/volumes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <utility>

namespace rarlib {

namespace {

constexpr std::size_t kWindow = 64 * 1024;

bool endsWithNoCase(const std::string& s, const char* tail) {
  std::size_t n = std::strlen(tail);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - n + i])) != tail[i]) return false;
  return true;
}

// For "NAME.partDIGITS.rar": where the digits start and how many there are.
bool partDigits(const std::string& path, std::size_t& start, std::size_t& count) {
  if (!endsWithNoCase(path, ".rar")) return false;
  std::size_t end = path.size() - 4;
  std::size_t b = end;
  while (b > 0 && std::isdigit(static_cast<unsigned char>(path[b - 1]))) --b;
  if (b == end || b < 5) return false;
  std::string word = path.substr(b - 5, 5);
  for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (word != ".part") return false;
  start = b;
  count = end - b;
  return true;
}

bool upperAt(const std::string& s, std::size_t i) { return std::isupper(static_cast<unsigned char>(s[i])) != 0; }

}  // namespace

std::string nextVolumeName(const std::string& path, bool newNumbering) {
  std::size_t start = 0, count = 0;
  if (newNumbering && partDigits(path, start, count)) {
    std::string digits = path.substr(start, count);
    // Add one to the decimal text, growing it when it overflows (9 -> 10).
    int i = static_cast<int>(digits.size()) - 1;
    for (; i >= 0; --i) {
      if (digits[static_cast<std::size_t>(i)] != '9') {
        ++digits[static_cast<std::size_t>(i)];
        break;
      }
      digits[static_cast<std::size_t>(i)] = '0';
    }
    if (i < 0) digits.insert(digits.begin(), '1');
    return path.substr(0, start) + digits + path.substr(start + count);
  }
  // Old numbering: .rar -> .r00 .. .r99 -> .s00 ...
  if (path.size() < 4 || path[path.size() - 4] != '.') return {};
  std::string ext = path.substr(path.size() - 3);
  std::string base = path.substr(0, path.size() - 3);
  bool upper = upperAt(path, path.size() - 3);
  char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(ext[0])));
  if (endsWithNoCase(path, ".rar")) return base + (upper ? "R00" : "r00");
  if (letter < 'r' || letter > 'y' || !std::isdigit(static_cast<unsigned char>(ext[1])) ||
      !std::isdigit(static_cast<unsigned char>(ext[2])))
    return {};
  int n = (ext[1] - '0') * 10 + (ext[2] - '0') + 1;
  if (n == 100) {
    ++letter;
    n = 0;
  }
  char out[4] = {static_cast<char>(upper ? std::toupper(letter) : letter), static_cast<char>('0' + n / 10),
                 static_cast<char>('0' + n % 10), 0};
  return base + out;
}

std::string firstVolumeName(const std::string& path, bool newNumbering) {
  std::size_t start = 0, count = 0;
  if (newNumbering && partDigits(path, start, count))
    return path.substr(0, start) + std::string(count - 1, '0') + "1" + path.substr(start + count);
  if (path.size() < 4 || path[path.size() - 4] != '.') return {};
  if (endsWithNoCase(path, ".rar")) return path;
  char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(path[path.size() - 3])));
  if (letter < 'r' || letter > 'z' || !std::isdigit(static_cast<unsigned char>(path[path.size() - 2])) ||
      !std::isdigit(static_cast<unsigned char>(path[path.size() - 1])))
    return {};
  return path.substr(0, path.size() - 3) + (upperAt(path, path.size() - 3) ? "RAR" : "rar");
}

VolumeFile::~VolumeFile() { close(); }

VolumeFile::VolumeFile(VolumeFile&& other) noexcept { *this = std::move(other); }

VolumeFile& VolumeFile::operator=(VolumeFile&& other) noexcept {
  if (this != &other) {
    close();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    size_ = other.size_;
    dev_ = other.dev_;
    ino_ = other.ino_;
    window_ = std::move(other.window_);
    windowStart_ = other.windowStart_;
    failed_ = other.failed_;
  }
  return *this;
}

bool VolumeFile::open(const std::string& path) {
  close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = S_ISDIR(st.st_mode) ? EISDIR : errno ? errno : EINVAL;
    ::close(fd);
    errno = err;
    return false;
  }
  fd_ = fd;
  path_ = path;
  size_ = static_cast<std::uint64_t>(st.st_size);
  dev_ = st.st_dev;
  ino_ = st.st_ino;
  failed_ = false;
  return true;
}

void VolumeFile::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  window_.clear();
  windowStart_ = 0;
}

bool VolumeFile::read(std::uint64_t offset, void* out, std::size_t size) {
  if (fd_ < 0 || offset > size_ || size > size_ - offset) return false;
  if (size == 0) return true;
  auto* dst = static_cast<std::uint8_t*>(out);
  if (offset >= windowStart_ && offset + size <= windowStart_ + window_.size()) {
    std::memcpy(dst, window_.data() + (offset - windowStart_), size);
    return true;
  }
  if (size > kWindow / 2) {  // big pieces go straight through
    std::size_t done = 0;
    while (done < size) {
      ssize_t n = ::pread(fd_, dst + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        failed_ = n < 0;
        return false;
      }
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - offset)));
  windowStart_ = offset;
  std::size_t got = 0;
  while (got < window_.size()) {
    ssize_t n = ::pread(fd_, window_.data() + got, window_.size() - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed_ = n < 0;
      window_.resize(got);
      break;
    }
    got += static_cast<std::size_t>(n);
  }
  if (got < size) return false;
  std::memcpy(dst, window_.data(), size);
  return true;
}

}  // namespace rarlib

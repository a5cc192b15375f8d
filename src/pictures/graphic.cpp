#include "pictures/graphic.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pictures {

namespace {

// Picture files beyond this size are not read into memory.
constexpr std::uint64_t kMaxFileBytes = std::uint64_t{1} << 30;

class FileHandle {
 public:
  explicit FileHandle(int fd) : fd_(fd) {}
  ~FileHandle() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

[[noreturn]] void RaiseFileError(const std::string& path, int err) {
  throw EPictureError(FormatText("Cannot open file \"%s\". %s", path.c_str(), std::strerror(err)));
}

}  // namespace

std::string FormatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[1024];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

void TPixelBuffer::Allocate(int width, int height, TPixelFormat format) {
  Width = width;
  Height = height;
  PixelFormat = format;
  Pixels.assign(static_cast<std::size_t>(BytesPerRow()) * static_cast<std::size_t>(height), 0);
}

std::vector<std::uint8_t> TPixelBuffer::ToRgb24() const {
  if (PixelFormat == TPixelFormat::pfRgb24) return Pixels;
  std::vector<std::uint8_t> rgb(Pixels.size() * 3);
  // A full 256-entry lookup avoids the palette bounds check per pixel.
  TRGB lut[256];
  for (int i = 0; i < 256; ++i) lut[i] = Color(static_cast<std::uint8_t>(i));
  std::uint8_t* out = rgb.data();
  for (std::uint8_t index : Pixels) {
    const TRGB& c = lut[index];
    *out++ = c.R;
    *out++ = c.G;
    *out++ = c.B;
  }
  return rgb;
}

void TGraphic::LoadFromFile(const std::string& path) { LoadFromBytes(ReadWholeFile(path)); }

void TGraphic::CheckFrameIndex(int index) const {
  const int count = FrameCount();
  if (index < 0 || index >= count) throw EPictureError(FormatText("Invalid frame number %d (0..%d)", index, count - 1));
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  FileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) RaiseFileError(path, errno);
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) RaiseFileError(path, errno);
  if (S_ISDIR(st.st_mode)) RaiseFileError(path, EISDIR);
  if (!S_ISREG(st.st_mode)) throw EPictureError(FormatText("\"%s\" is not a regular file", path.c_str()));
  if (static_cast<std::uint64_t>(st.st_size) > kMaxFileBytes)
    throw EPictureError(FormatText("The picture file \"%s\" is too large", path.c_str()));
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::read(file.get(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseFileError(path, errno);
    if (n == 0) break;  // the file shrank while being read
    done += static_cast<std::size_t>(n);
  }
  bytes.resize(done);
  return bytes;
}

void CheckPictureSize(const char* kind, std::uint64_t width, std::uint64_t height, std::uint64_t maxFromData) {
  if (width == 0 || height == 0)
    throw EPictureError(FormatText("Invalid %s picture size (%llux%llu)", kind, static_cast<unsigned long long>(width),
                                   static_cast<unsigned long long>(height)));
  const std::uint64_t pixels = width * height;  // both at most 32 bits wide
  if (pixels > kMaxPixels || pixels > maxFromData)
    throw EPictureError(FormatText("%s picture too large (%llux%llu)", kind, static_cast<unsigned long long>(width),
                                   static_cast<unsigned long long>(height)));
}

}  // namespace pictures

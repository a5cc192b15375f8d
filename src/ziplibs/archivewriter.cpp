#include "ziplibs/archivewriter.h"

#include <fcntl.h>
#include <libgen.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zipcore/sysio.h"
#include "zipcore/records.h"

namespace ziplibs {

using namespace zipcore;

namespace {

std::string folderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string randomSuffix() {
  unsigned char b[6] = {};
  if (::getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b))
    for (unsigned i = 0; i < sizeof b; ++i) b[i] = static_cast<unsigned char>((::getpid() >> i) ^ (i * 77));
  char out[13];
  std::snprintf(out, sizeof out, "%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return out;
}

bool syncFolder(const std::string& folder) {
  UniqueFd d(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return d.valid() && sysio::fsync(d.get()) == 0;
}

}  // namespace

ArchiveWriter::~ArchiveWriter() {
  if (!committed_ && fd_.valid()) {
    fd_.reset();
    ::unlink(tempPath_.c_str());
  }
}

bool ArchiveWriter::create(const std::string& archivePath, std::string& error) {
  targetPath_ = archivePath;
  std::string folder = folderOf(archivePath);
  std::string base = archivePath.substr(archivePath.rfind('/') == std::string::npos ? 0 : archivePath.rfind('/') + 1);
  if (base.size() > 200) base.resize(200);
  for (int attempt = 0; attempt < 16 && !fd_.valid(); ++attempt) {
    tempPath_ = (folder == "/" ? "" : folder) + "/." + base + ".kvtmp-" + randomSuffix();
    fd_.reset(sysio::openat(AT_FDCWD, tempPath_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd_.valid() && errno != EEXIST) break;
  }
  if (!fd_.valid()) {
    error = "cannot create a temporary file in " + folder + ": " + errorText(errno);
    return false;
  }
  return true;
}

bool ArchiveWriter::write(const void* data, std::size_t size) {
  if (!writeAll(fd_.get(), data, size)) return false;
  position_ += size;
  return true;
}

bool ArchiveWriter::patch(std::uint64_t at, const std::string& bytes) {
  return pwriteAll(fd_.get(), bytes.data(), bytes.size(), at);
}

bool ArchiveWriter::truncate(std::uint64_t at) {
  if (::ftruncate(fd_.get(), static_cast<off_t>(at)) != 0 || ::lseek(fd_.get(), static_cast<off_t>(at), SEEK_SET) < 0)
    return false;
  position_ = at;
  return true;
}

bool ArchiveWriter::copyPiece(int fd, std::uint64_t at, std::size_t size) {
  buffer_.resize(size);
  long long n = preadFull(fd, buffer_.data(), size, at);
  if (n != static_cast<long long>(size)) {
    if (n >= 0) errno = EIO;  // the old archive is shorter than its directory says
    return false;
  }
  return write(buffer_.data(), size);
}

bool ArchiveWriter::finish(const std::string& comment) {
  const std::uint64_t cdStart = position_;
  std::string cd;
  for (const CentralRecord& r : central_) {
    cd += centralHeaderFor(r);
    if (cd.size() >= (1 << 20)) {
      if (!write(cd)) return false;
      cd.clear();
    }
  }
  if (!write(cd)) return false;
  const std::string end = endRecordsFor(central_.size(), position_ - cdStart, cdStart, comment);
  if (!write(end)) return false;
  return sysio::fsync(fd_.get()) == 0;
}

bool ArchiveWriter::commit(mode_t mode, std::string& error) {
  if (::fchmod(fd_.get(), mode) != 0) {
    error = "cannot set the archive's permissions: " + errorText(errno);
    return false;
  }
  fd_.reset();
  if (::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
    error = "cannot replace " + targetPath_ + ": " + errorText(errno);
    ::unlink(tempPath_.c_str());
    committed_ = true;  // nothing left to remove
    return false;
  }
  committed_ = true;
  durable_ = syncFolder(folderOf(targetPath_));
  return true;
}

}  // namespace ziplibs

#include "ziplibs/archivewriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "zipcore/sysio.h"
#include "zipcore/archivelock.h"
#include "zipcore/records.h"

namespace ziplibs {

using namespace zipcore;

namespace {

std::string folderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool syncFolder(const std::string& folder) {
  UniqueFd d(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  return d.valid() && sysio::fsync(d.get()) == 0;
}

}  // namespace

ArchiveWriter::~ArchiveWriter() {
  if (!committed_ && fd_.valid()) {
    ::unlink(tempPath_.c_str());  // while still locked: nobody takes it for a leftover
    fd_.reset();
  }
}

bool ArchiveWriter::create(const std::string& archivePath, std::string& error) {
  targetPath_ = archivePath;
  fd_ = CreateLockedTemp(archivePath, tempPath_);
  struct stat st {};
  if (!fd_.valid() || ::fstat(fd_.get(), &st) != 0) {
    error = "cannot create a temporary file in " + folderOf(archivePath) + ": " + errorText(errno);
    return false;
  }
  tempDev_ = st.st_dev;
  tempIno_ = st.st_ino;
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

bool ArchiveWriter::commit(mode_t mode, const struct stat* expected, std::string& error) {
  if (::fchmod(fd_.get(), mode) != 0) {
    error = "cannot set the archive's permissions: " + errorText(errno);
    return false;
  }
  // The temporary stays open (and locked as this writer's) until it has its name.
  bool renamed;
  if (expected) {
    struct stat now {};
    if (::stat(targetPath_.c_str(), &now) != 0 || !sameFile(now, *expected)) {
      error = "another program changed the archive while the new one was being written; the new one was not saved";
      return false;
    }
    renamed = ::rename(tempPath_.c_str(), targetPath_.c_str()) == 0;
  } else {
    renamed = ::renameat2(AT_FDCWD, tempPath_.c_str(), AT_FDCWD, targetPath_.c_str(), RENAME_NOREPLACE) == 0;
    if (!renamed && errno == EEXIST) {
      error = "another program created the archive while the new one was being written; the new one was not saved";
      return false;
    }
  }
  if (!renamed) {
    error = "cannot replace " + targetPath_ + ": " + errorText(errno);
    return false;
  }
  committed_ = true;
  fd_.reset();
  durable_ = syncFolder(folderOf(targetPath_));
  return true;
}

bool ArchiveWriter::inPlace() const {
  struct stat now {};
  return committed_ && ::stat(targetPath_.c_str(), &now) == 0 && now.st_dev == tempDev_ && now.st_ino == tempIno_;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace ziplibs

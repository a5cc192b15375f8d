#include "zipcore/outputtree.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>

#include "zipcore/safepath.h"
#include "zipcore/sysio.h"

namespace zipcore {

bool OutputTree::open(std::string& error) { return open(".", error); }

bool OutputTree::open(const std::string& folder, std::string& error) {
  cachedFd_.reset();
  cachedPath_.clear();
  base_.reset(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!base_.valid()) {
    error = "cannot open the target folder: " + errorText(errno);
    return false;
  }
  return true;
}

UniqueFd OutputTree::openFolder(const std::vector<std::string>& parts, std::size_t count, bool create,
                                std::string& error, bool& linkInWay) {
  linkInWay = false;
  std::string path = joinParts(parts, count);
  if (count == 0) return UniqueFd(::dup(base_.get()));
  if (cachedFd_.valid() && path == cachedPath_) return UniqueFd(::dup(cachedFd_.get()));
  UniqueFd dir(::dup(base_.get()));
  for (std::size_t i = 0; i < count && dir.valid(); ++i) {
    const char* name = parts[i].c_str();
    int fd = ::openat(dir.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT && create) {
      if (sysio::mkdirat(dir.get(), name, 0777) == 0) {
        made_.emplace_back(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(i + 1));
      } else if (errno != EEXIST) {
        const int err = errno;
        error = "cannot create the folder " + joinParts(parts, i + 1) + ": " + errorText(err);
        errno = err;
        return UniqueFd();
      }
      fd = ::openat(dir.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0) {
      if (errno == ELOOP || errno == ENOTDIR) {
        linkInWay = true;
        error = joinParts(parts, i + 1) + " is a symbolic link or not a folder; not followed";
      } else if (errno == ENOENT) {
        error = "the folder " + joinParts(parts, i + 1) + " does not exist";
      } else {
        error = "cannot open the folder " + joinParts(parts, i + 1) + ": " + errorText(errno);
      }
      return UniqueFd();
    }
    dir.reset(fd);
  }
  cachedPath_ = path;
  cachedFd_.reset(::dup(dir.get()));
  return dir;
}

void OutputTree::rememberFolder(const std::vector<std::string>& parts, mode_t mode, std::int64_t mtime) {
  folders_.push_back(Folder{parts, mode, mtime});
}

void OutputTree::finishFolders() {
  cachedFd_.reset();
  // Deepest first, so setting a parent's time is not undone by its children.
  std::stable_sort(folders_.begin(), folders_.end(),
                   [](const Folder& a, const Folder& b) { return a.parts.size() > b.parts.size(); });
  for (const Folder& f : folders_) {
    std::string error;
    bool link = false;
    UniqueFd fd = openFolder(f.parts, f.parts.size(), false, error, link);
    cachedFd_.reset();
    if (!fd.valid()) continue;
    ::fchmod(fd.get(), f.mode);
    struct timespec times[2] = {{0, UTIME_OMIT}, {f.mtime, 0}};
    ::futimens(fd.get(), times);
  }
  folders_.clear();
}

void OutputTree::removeFoldersSince(std::size_t mark) {
  cachedFd_.reset();
  cachedPath_.clear();
  while (made_.size() > mark) {
    const std::vector<std::string>& parts = made_.back();
    const bool entry = std::any_of(folders_.begin(), folders_.end(), [&](const Folder& f) { return f.parts == parts; });
    if (entry) {  // an archive's folder entry: extracted, stays
      made_.pop_back();
      continue;
    }
    std::string error;
    bool link = false;
    UniqueFd parent = openFolder(parts, parts.size() - 1, false, error, link);  // never through a link
    if (parent.valid()) ::unlinkat(parent.get(), parts.back().c_str(), AT_REMOVEDIR);
    made_.pop_back();
  }
  cachedFd_.reset();
  cachedPath_.clear();
}

std::string temporaryName() {
  unsigned char b[6] = {};
  if (::getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b)) {
    static std::atomic<unsigned> counter{0};
    unsigned n = counter.fetch_add(1) ^ static_cast<unsigned>(::getpid());
    for (unsigned i = 0; i < sizeof b; ++i) b[i] = static_cast<unsigned char>(n >> (i * 5));
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, ".kvtmp-%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return buf;
}

bool PendingFile::create(int dir, mode_t mode) {
  discard();
  dir_ = dir;
  int fd = sysio::openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (fd >= 0) {
    fd_.reset(fd);
    return true;
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return false;
  for (int attempt = 0; attempt < 32; ++attempt) {
    std::string name = temporaryName();
    fd = sysio::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) {
      fd_.reset(fd);
      tempName_ = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool PendingFile::finish() {
  if (tempName_.empty()) return true;  // unnamed: stays open until published
  return ::close(fd_.release()) == 0;
}

bool PendingFile::publish(const std::string& name, bool replace) {
  if (!tempName_.empty()) {
    if (!renameIntoPlace(dir_, tempName_, name, replace)) return false;
    tempName_.clear();
    return true;
  }
  std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
  if (::linkat(AT_FDCWD, self.c_str(), dir_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
    fd_.reset();
    return true;
  }
  if (errno != EEXIST || !replace) return false;
  // Replacing: a temporary name first, then an atomic rename over the old file.
  for (int attempt = 0; attempt < 32; ++attempt) {
    std::string tmp = temporaryName();
    if (::linkat(AT_FDCWD, self.c_str(), dir_, tmp.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      if (errno == EEXIST) continue;
      return false;
    }
    if (::renameat(dir_, tmp.c_str(), dir_, name.c_str()) != 0) {
      int err = errno;
      ::unlinkat(dir_, tmp.c_str(), 0);
      errno = err;
      return false;
    }
    fd_.reset();
    return true;
  }
  return false;
}

void PendingFile::discard() {
  fd_.reset();
  if (!tempName_.empty()) ::unlinkat(dir_, tempName_.c_str(), 0);
  tempName_.clear();
}

bool renameIntoPlace(int dir, const std::string& tmp, const std::string& name, bool replace) {
  if (::renameat2(dir, tmp.c_str(), dir, name.c_str(), replace ? 0 : RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails on an existing name.
  if (replace) return ::renameat(dir, tmp.c_str(), dir, name.c_str()) == 0;
  if (::linkat(dir, tmp.c_str(), dir, name.c_str(), 0) != 0) return false;
  ::unlinkat(dir, tmp.c_str(), 0);
  return true;
}

}  // namespace zipcore

#include "zipcore/archivelock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <thread>

#include "zipcore/fileio.h"
#include "zipcore/sysio.h"

namespace zipcore {

namespace {

constexpr std::size_t kMaxBaseLength = 200;
constexpr std::size_t kSuffixLength = 12;
constexpr std::size_t kOldSuffixLength = 6;  // mkstemp's, used by earlier versions
constexpr auto kPollInterval = std::chrono::milliseconds(50);

std::string folderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The archive's file name, cut to kMaxBaseLength bytes.
std::string baseOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.size() > kMaxBaseLength) base.resize(kMaxBaseLength);
  return base;
}

std::string beside(const std::string& archive, const std::string& name) {
  const std::string folder = folderOf(archive);
  return (folder == "/" ? "" : folder) + "/" + name;
}

std::string randomSuffix() {
  unsigned char b[kSuffixLength / 2] = {};
  if (::getrandom(b, sizeof b, 0) != static_cast<ssize_t>(sizeof b))
    for (unsigned i = 0; i < sizeof b; ++i) b[i] = static_cast<unsigned char>((::getpid() >> i) ^ (i * 77));
  char out[kSuffixLength + 1];
  std::snprintf(out, sizeof out, "%02x%02x%02x%02x%02x%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
  return out;
}

// A temporary's suffix as this writer makes it (12 hex digits), or as earlier
// versions made it (6 letters or digits).
bool isTempSuffix(std::string_view s) {
  if (s.size() == kSuffixLength)
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
  if (s.size() == kOldSuffixLength)
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
  return false;
}

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// The name still leads to the file fd has open.
bool nameLeadsTo(const std::string& path, int fd) {
  struct stat byName {
  }, byFd{};
  return ::lstat(path.c_str(), &byName) == 0 && ::fstat(fd, &byFd) == 0 && sameInode(byName, byFd);
}

}  // namespace

std::string LockFileFor(const std::string& archive) { return beside(archive, "." + baseOf(archive) + ".kvlock"); }

std::string TempPrefixFor(const std::string& archive) { return beside(archive, "." + baseOf(archive) + ".kvtmp-"); }

ArchiveLock::Outcome ArchiveLock::acquire(const std::string& archive, std::chrono::milliseconds wait,
                                          const std::function<bool()>& poll, std::string& error) {
  release();
  const std::string path = LockFileFor(archive);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    platform::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644));
    struct stat st {};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) {
      error = "cannot make the lock file " + path + ": " + errorText(errno);
      return Outcome::Failed;
    }
    if (!S_ISREG(st.st_mode)) {
      error = "the lock file " + path + " is not a regular file";
      return Outcome::Failed;
    }
    // Wait on this file until its holder lets go, then check that it is still the
    // lock file: a holder removes it as it lets go.
    for (;;) {
      if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) break;
      if (errno != EWOULDBLOCK && errno != EINTR) {
        error = "cannot lock " + path + ": " + errorText(errno);
        return Outcome::Failed;
      }
      if (std::chrono::steady_clock::now() >= deadline) return Outcome::Busy;
      if (poll && !poll()) return Outcome::Stopped;
      std::this_thread::sleep_for(kPollInterval);
    }
    if (nameLeadsTo(path, fd.get())) {
      fd_ = std::move(fd);
      path_ = path;
      return Outcome::Locked;
    }
  }
}

void ArchiveLock::release() {
  if (!fd_.valid()) return;
  // Removed while still held, so nobody locks a file that is on its way out
  // without noticing (see acquire).
  if (nameLeadsTo(path_, fd_.get())) ::unlink(path_.c_str());
  fd_.reset();
  path_.clear();
}

platform::UniqueFd CreateLockedTemp(const std::string& archive, std::string& tempPath) {
  const std::string prefix = TempPrefixFor(archive);
  platform::UniqueFd fd;
  for (int attempt = 0; attempt < 16 && !fd.valid(); ++attempt) {
    tempPath = prefix + randomSuffix();
    fd.reset(sysio::openat(AT_FDCWD, tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid() && errno != EEXIST) break;
  }
  if (!fd.valid()) {
    tempPath.clear();
    return fd;
  }
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    fd.reset();
    ::unlink(tempPath.c_str());
    tempPath.clear();
    errno = err;
  }
  return fd;
}

std::vector<StaleTemp> RemoveStaleTemps(const std::string& archive) {
  std::vector<StaleTemp> removed;
  const std::string folder = folderOf(archive);
  const std::string prefix = "." + baseOf(archive) + ".kvtmp-";
  platform::UniqueFd dirFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!dirFd.valid()) return removed;
  DIR* dir = ::fdopendir(::dup(dirFd.get()));
  if (!dir) return removed;
  std::vector<std::string> candidates;
  while (const dirent* d = ::readdir(dir)) {
    const std::string_view name(d->d_name);
    if (name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
        isTempSuffix(name.substr(prefix.size())))
      candidates.emplace_back(name);
  }
  ::closedir(dir);
  for (const std::string& name : candidates) {
    platform::UniqueFd fd(
        ::openat(dirFd.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat st {
    }, byName{};
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // Its writer still holds it: a write in progress.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;
    if (::fstatat(dirFd.get(), name.c_str(), &byName, AT_SYMLINK_NOFOLLOW) != 0 || !sameInode(st, byName)) continue;
    if (::unlinkat(dirFd.get(), name.c_str(), 0) != 0) continue;
    removed.push_back({name, static_cast<std::uint64_t>(st.st_size)});
  }
  return removed;
}

}  // namespace zipcore

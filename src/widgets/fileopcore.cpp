#include "widgets/fileopcore.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/uniquefd.h"

namespace widgets::fileop {

namespace {

using platform::UniqueFd;

bool writeAll(int fd, const char* p, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// Folder and name of a path; the folder of "/x" is "/".
void splitPath(const std::string& path, std::string& folder, std::string& name) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder = ".";
    name = path;
  } else {
    folder = slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash + 1);
  }
}

std::string joinPath(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

// A hidden temporary name beside `target`; "XXXXXX" is left for mkostemp to fill.
std::string tempTemplate(const std::string& target) {
  std::string folder, name;
  splitPath(target, folder, name);
  if (name.size() > 200) name = "kvcopy";  // keep the temporary name within NAME_MAX
  return joinPath(folder, "." + name + ".XXXXXX");
}

std::string uniqueSuffix() {
  static std::atomic<unsigned> counter{0};
  return std::to_string(::getpid()) + "." + std::to_string(platform::tickCount() % 100000) + "." +
         std::to_string(counter++);
}

}  // namespace

int renamePath(const std::string& from, const std::string& to, bool replace) {
  if (replace) return ::rename(from.c_str(), to.c_str());
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno == EEXIST) return -1;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

namespace {

// Copies the data of `in` to `out` block by block: in the kernel where it can,
// else through a buffer.
Status copyData(int in, int out, const std::string& source, const std::string& target, std::size_t blockSize,
                const ByteProgress& progress) {
  blockSize = std::max<std::size_t>(blockSize, 4096);
  bool kernelCopy = true;
  std::vector<char> buffer;
  for (;;) {
    ssize_t n = -1;
    if (kernelCopy) {
      n = ::copy_file_range(in, nullptr, out, nullptr, blockSize, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF ||
                    errno == EPERM)) {
        kernelCopy = false;
        continue;
      }
      if (n < 0) return Status::failed(target, errno);
    } else {
      if (buffer.empty()) buffer.resize(blockSize);
      n = ::read(in, buffer.data(), buffer.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return Status::failed(source, errno);
      if (n > 0 && !writeAll(out, buffer.data(), static_cast<std::size_t>(n))) return Status::failed(target, errno);
    }
    if (n == 0) return {};
    if (progress && !progress(static_cast<std::uint64_t>(n))) return Status::cancelled();
  }
}

// Changes the mode of the object behind an O_PATH descriptor without following a
// link: through its /proc entry, else by name relative to its folder.
bool chmodPathFd(int pathFd, int parentFd, const std::string& name, mode_t mode) {
  std::string proc = "/proc/self/fd/" + std::to_string(pathFd);
  if (::chmod(proc.c_str(), mode) == 0) return true;
  return ::fchmodat(parentFd, name.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0;
}

Status removeFolderAt(int parentFd, const std::string& name, const std::string& fullPath, bool removeSelf,
                      const BeforeRemove& before);

// Removes everything inside the open folder `dirFd` (taken over and closed).
Status removeEntries(int dirFd, const std::string& dirPath, const BeforeRemove& before) {
  DIR* dir = ::fdopendir(dirFd);
  if (!dir) {
    int e = errno;
    ::close(dirFd);
    return Status::failed(dirPath, e);
  }
  std::vector<std::string> names;
  while (dirent* ent = ::readdir(dir)) {
    std::string n = ent->d_name;
    if (n != "." && n != "..") names.push_back(std::move(n));
  }
  std::sort(names.begin(), names.end());
  Status result;
  for (const std::string& n : names) {
    std::string full = joinPath(dirPath, n);
    struct stat st {};
    if (::fstatat(::dirfd(dir), n.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) continue;  // gone meanwhile
      result = Status::failed(full, errno);
      break;
    }
    if (S_ISDIR(st.st_mode)) {
      result = removeFolderAt(::dirfd(dir), n, full, true, before);
      if (!result.ok()) break;
      continue;
    }
    if (before && !before(full, st)) {
      result = Status::cancelled();
      break;
    }
    if (::unlinkat(::dirfd(dir), n.c_str(), 0) != 0 && errno != ENOENT) {
      result = Status::failed(full, errno);
      break;
    }
  }
  ::closedir(dir);
  return result;
}

Status removeFolderAt(int parentFd, const std::string& name, const std::string& fullPath, bool removeSelf,
                      const BeforeRemove& before) {
  // O_PATH with O_NOFOLLOW opens the folder itself and fails on a link: what we
  // change and walk is exactly what lies here.
  UniqueFd pathFd(::openat(parentFd, name.c_str(), O_PATH | O_NOFOLLOW | O_DIRECTORY | O_CLOEXEC));
  if (pathFd.get() < 0) return Status::failed(fullPath, errno);
  struct stat st {};
  if (::fstat(pathFd.get(), &st) != 0) return Status::failed(fullPath, errno);
  bool changed = false;
  if ((st.st_mode & S_IRWXU) != S_IRWXU) {
    // Reading, searching and removing entries need all three bits of the owner.
    changed = chmodPathFd(pathFd.get(), parentFd, name, (st.st_mode & 07777) | S_IRWXU);
  }
  int dirFd = ::openat(pathFd.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    int e = errno;
    if (changed) chmodPathFd(pathFd.get(), parentFd, name, st.st_mode & 07777);
    return Status::failed(fullPath, e);
  }
  Status result = removeEntries(dirFd, fullPath, before);
  if (result.ok() && removeSelf) {
    if (::unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0)
      result = Status::failed(fullPath, errno);
    else
      return result;
  }
  if (changed) chmodPathFd(pathFd.get(), parentFd, name, st.st_mode & 07777);
  return result;
}

}  // namespace

Status copyFile(const std::string& source, const std::string& target, const CopyOptions& options,
                const ByteProgress& progress) {
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (in.get() < 0) return Status::failed(source, errno);
  struct stat st {};
  if (::fstat(in.get(), &st) != 0) return Status::failed(source, errno);
  if (!S_ISREG(st.st_mode)) return Status::failed(source, EINVAL);
  ::posix_fadvise(in.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

  std::string temp = tempTemplate(target);
  UniqueFd out(::mkostemp(temp.data(), O_CLOEXEC));
  if (out.get() < 0) return Status::failed(target, errno);
  auto discard = [&](Status s) {
    out.reset();
    ::unlink(temp.c_str());
    return s;
  };

  Status s = copyData(in.get(), out.get(), source, target, options.blockSize, progress);
  if (!s.ok()) return discard(s);
  // Times last: every write before this moves the modification time.
  if (::fchmod(out.get(), st.st_mode & 0777) != 0) return discard(Status::failed(target, errno));
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(out.get(), times) != 0) return discard(Status::failed(target, errno));
  if (options.durable && ::fsync(out.get()) != 0) return discard(Status::failed(target, errno));
  // Some file systems report write errors only when the file is closed.
  if (::close(out.release()) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    return Status::failed(target, e);
  }
  if (renamePath(temp, target, options.replace) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    return Status::failed(target, e);
  }
  return {};
}

Status copyLink(const std::string& source, const std::string& target, bool replace) {
  struct stat st {};
  if (::lstat(source.c_str(), &st) != 0) return Status::failed(source, errno);
  if (!S_ISLNK(st.st_mode)) return Status::failed(source, EINVAL);
  std::string text(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
  for (;;) {
    ssize_t n = ::readlink(source.c_str(), text.data(), text.size());
    if (n < 0) return Status::failed(source, errno);
    if (static_cast<std::size_t>(n) < text.size()) {
      text.resize(static_cast<std::size_t>(n));
      break;
    }
    text.resize(text.size() * 2);  // the link grew since lstat
  }
  std::string folder, name;
  splitPath(target, folder, name);
  if (name.size() > 200) name = "kvlink";
  std::string temp;
  for (int attempt = 0;; ++attempt) {
    temp = joinPath(folder, "." + name + "." + uniqueSuffix());
    if (::symlink(text.c_str(), temp.c_str()) == 0) break;
    if (errno != EEXIST || attempt > 100) return Status::failed(target, errno);
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
  if (renamePath(temp, target, replace) != 0) {
    int e = errno;
    ::unlink(temp.c_str());
    return Status::failed(target, e);
  }
  return {};
}

void applyFolderAttributes(const std::string& path, const struct stat& like) {
  ::chmod(path.c_str(), like.st_mode & 07777);
  const struct timespec times[2] = {like.st_atim, like.st_mtim};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

Status removeTree(const std::string& path, bool removeRoot, const BeforeRemove& before) {
  std::string abs = platform::absolutePath(path);
  while (abs.size() > 1 && abs.back() == '/') abs.pop_back();
  std::string folder, name;
  splitPath(abs, folder, name);
  if (name.empty() || name == "." || name == "..") return Status::failed(abs, EINVAL);  // never the root folder
  UniqueFd parent(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() < 0) return Status::failed(abs, errno);
  return removeFolderAt(parent.get(), name, abs, removeRoot, before);
}

Status removePath(const std::string& path, const BeforeRemove& before) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return Status::failed(path, errno);
  if (S_ISDIR(st.st_mode)) return removeTree(path, true, before);
  if (before && !before(path, st)) return Status::cancelled();
  if (::unlink(path.c_str()) != 0) return Status::failed(path, errno);
  return {};
}

std::vector<std::string> listFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return names;
  while (dirent* ent = ::readdir(dir)) {
    std::string n = ent->d_name;
    if (n != "." && n != "..") names.push_back(std::move(n));
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string uniqueName(const std::string& path) {
  std::string folder, name;
  splitPath(path, folder, name);
  auto dot = name.rfind('.');
  std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::string ext = dot == std::string::npos || dot == 0 ? std::string() : name.substr(dot);
  for (unsigned n = 2;; ++n) {
    std::string candidate = joinPath(folder, stem + " (" + std::to_string(n) + ")" + ext);
    struct stat st {};
    // Any failure to look counts as free: creating the copy then reports the real error.
    if (::lstat(candidate.c_str(), &st) != 0) return candidate;
  }
}

bool isSameOrBelow(const std::string& inner, const std::string& outer) {
  if (outer == "/") return !inner.empty() && inner[0] == '/';
  return inner == outer ||
         (inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 && inner[outer.size()] == '/');
}

}  // namespace widgets::fileop

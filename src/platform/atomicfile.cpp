#include "platform/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "platform/paths.h"

namespace platform {

namespace {

bool fail(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool canReplaceFile(const std::string& path, std::string* error) {
  struct stat st {};
  // A file or folder without its owner's write bit counts as read-only for everybody,
  // the super-user included, so a protected settings file is never replaced.
  if (::stat(path.c_str(), &st) == 0 && (!(st.st_mode & S_IWUSR) || ::access(path.c_str(), W_OK) != 0)) {
    errno = EACCES;
    return fail(error, "Cannot write " + path);
  }
  std::string folder = folderOf(path);
  if (folder.empty()) folder = ".";
  struct stat dst {};
  if (::stat(folder.c_str(), &dst) == 0 && (!(dst.st_mode & S_IWUSR) || ::access(folder.c_str(), W_OK) != 0)) {
    errno = EACCES;
    return fail(error, "Cannot write in " + folder);
  }
  return true;
}

bool writeFileAtomically(const std::string& path, std::string_view data, std::string* error) {
  if (!canReplaceFile(path, error)) return false;
  mode_t mode = 0644;
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  std::string folder = folderOf(path);
  if (folder.empty()) folder = ".";
  std::string tmpl = folder + "/." + fileNameOf(path) + ".XXXXXX";
  int fd = ::mkstemp(tmpl.data());
  if (fd < 0) return fail(error, "Cannot create a temporary file in " + folder);
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      int saved = errno;
      ::close(fd);
      ::unlink(tmpl.c_str());
      errno = saved;
      return fail(error, "Cannot write " + path);
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
    int saved = errno;
    ::close(fd);
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail(error, "Cannot flush " + path);
  }
  if (::close(fd) != 0) {
    ::unlink(tmpl.c_str());
    return fail(error, "Cannot close " + path);
  }
  if (::rename(tmpl.c_str(), path.c_str()) != 0) {
    int saved = errno;
    ::unlink(tmpl.c_str());
    errno = saved;
    return fail(error, "Cannot replace " + path);
  }
  // Make the rename itself durable.
  int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool readWholeFile(const std::string& path, std::string& out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(error, "Cannot open " + path);
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return fail(error, "Cannot read " + path);
  out = ss.str();
  return true;
}

}  // namespace platform

#include "search/dirnavigator.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/clock.h"
#include "platform/paths.h"
#include "platform/pump.h"
#include "zipcore/namematch.h"

namespace search {

namespace {

// Closes a directory stream when the scope ends.
struct DirCloser {
  DIR* dir;
  ~DirCloser() {
    if (dir) ::closedir(dir);
  }
};

std::string withSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

void lowerInto(const char* text, std::string& out) {
  out.assign(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

}  // namespace

TDirNavigator::Outcome TDirNavigator::Navigate() {
  if (aborted_) {
    aborted_ = false;
    return Outcome::Aborted;
  }
  if (!Enabled) return Outcome::Disabled;
  skipped_ = 0;
  startError_.clear();
  path_.clear();
  lowerInto(Pattern.c_str(), pattern_);
  lastIdle_ = platform::tickCount();
  if (BeforeNavigate) BeforeNavigate(*this);
  const bool started = walk(withSlash(platform::absolutePath(StartFolder)), true);
  current_.clear();
  if (AfterNavigate) AfterNavigate(*this);
  if (aborted_) return Outcome::Aborted;
  return started ? Outcome::Done : Outcome::StartUnreadable;
}

bool TDirNavigator::matches(const char* name) {
  if (pattern_.empty()) return false;
  lowerInto(name, lowered_);
  return zipcore::wildcardMatch(pattern_, lowered_);
}

void TDirNavigator::idle() {
  const std::uint64_t now = platform::tickCount();
  if (now - lastIdle_ < IdleIntervalMs) return;
  if (OnIdle)
    OnIdle(*this);
  else
    platform::pumpEvents();
  // Counted from the end of the handler: time spent in it is not walking time.
  lastIdle_ = platform::tickCount();
}

// Reads one folder: reports its matching files, then walks its subfolders one by
// one (depth first, in the order the file system lists them). Only one folder is
// open at a time, however deep the tree. False when the folder could not be read.
bool TDirNavigator::walk(const std::string& folder, bool top) {
  // The start folder may be reached through a link; folders below it may not.
  const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (top ? 0 : O_NOFOLLOW);
  const int fd = ::open(folder.c_str(), flags);
  if (fd < 0) {
    if (top) startError_ = std::strerror(errno);
    ++skipped_;
    return false;
  }
  struct stat self {};
  DirCloser closer{::fdopendir(fd)};
  if (!closer.dir || ::fstat(fd, &self) != 0) {
    if (!closer.dir) ::close(fd);
    if (top) startError_ = std::strerror(errno);
    ++skipped_;
    return false;
  }
  const std::pair<dev_t, ino_t> id{self.st_dev, self.st_ino};
  // A folder mounted inside itself would be walked without end.
  if (std::find(path_.begin(), path_.end(), id) != path_.end()) return true;

  current_ = folder;
  if (OnRecurse) OnRecurse(*this, folder);
  std::vector<std::string> subfolders;
  for (;;) {
    errno = 0;
    const dirent* e = ::readdir(closer.dir);
    if (!e) {
      // A read error part way counts the folder as skipped; what was read stands.
      if (errno != 0) ++skipped_;
      break;
    }
    idle();
    if (aborted_) return true;
    const char* name = e->d_name;
    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0))) continue;
    unsigned char type = e->d_type;
    if (type == DT_UNKNOWN) {
      struct stat st {};
      if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
    }
    if (type == DT_DIR) {
      if (Recursive && name[0] != '.') subfolders.emplace_back(name);
      continue;
    }
    if ((type != DT_REG && type != DT_LNK) || !matches(name)) continue;
    struct stat st {};
    // A link is reported when it leads to a regular file, with that file's size.
    if (::fstatat(fd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    if (OnFound) OnFound(*this, folder, name, static_cast<std::uint64_t>(st.st_size));
  }
  ::closedir(closer.dir);
  closer.dir = nullptr;
  path_.push_back(id);
  for (const std::string& sub : subfolders) {
    if (aborted_) break;
    walk(folder + sub + '/', false);
  }
  path_.pop_back();
  return true;
}

}  // namespace search

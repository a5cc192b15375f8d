#include "rarlib/entryoutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "rarlib/kvrar.h"
#include "zipcore/fileio.h"
#include "zipcore/safepath.h"

namespace rarlib {

namespace {

using zipcore::UniqueFd;

mode_t currentUmask() {
  unsigned mask = 022;
  if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "Umask: %o", &mask) == 1) break;
    std::fclose(f);
  }
  return static_cast<mode_t>(mask);
}

}  // namespace

EntryOutput::EntryOutput() : umask_(currentUmask()) {}

EntryOutput::~EntryOutput() {
  discardFile();
  finish();
}

void EntryOutput::finish() {
  if (treeOpen_) tree_.finishFolders();
}

int EntryOutput::begin(const char* folder, const char* exactName, std::uint32_t options) {
  options_ = options;
  exactName_ = exactName ? exactName : "";
  std::string wanted = folder && *folder ? folder : ".";
  if (treeOpen_ && wanted == folder_) return RAR_SUCCESS;
  finish();
  treeOpen_ = false;
  if (!exactName_.empty()) return RAR_SUCCESS;
  std::error_code ec;
  std::filesystem::create_directories(wanted, ec);  // the caller's own folder: made as asked
  std::string error;
  if (!tree_.open(wanted, error)) return RAR_ECREATE;
  treeOpen_ = true;
  folder_ = wanted;
  written_.clear();
  return RAR_SUCCESS;
}

mode_t EntryOutput::modeFor(const RarEntry& e, bool folder) const {
  const bool unixHost = e.hostOS == RAR_HOST_UNIX || e.hostOS == RAR_HOST_BEOS;
  if (unixHost && (e.attr & 0777)) return static_cast<mode_t>(e.attr & 0777);  // never setuid, setgid or sticky
  mode_t mode = (folder ? 0777 : 0666) & ~umask_;
  if (!unixHost && !folder && (e.attr & 0x01)) mode &= ~0222;  // read-only
  return mode;
}

// Where an entry goes: its safe name parts below the target, with the folder
// that holds it open in fileDir_. Refuses names that leave the target.
int EntryOutput::place(const RarEntry& e, std::vector<std::string>& parts, bool& replace) {
  replace = false;
  fileDir_.reset();
  if (!exactName_.empty()) {
    std::string dir = std::filesystem::path(exactName_).parent_path().string();
    fileDir_.reset(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fileDir_.valid()) return RAR_ECREATE;
    parts = {std::filesystem::path(exactName_).filename().string()};
  } else {
    if (!treeOpen_) return RAR_ECREATE;
    zipcore::SafeName safe = zipcore::checkEntryName(e.name);
    if (!safe.ok()) return RAR_UNSAFE_NAME;
    parts = (options_ & RAR_OPT_NO_PATHS) ? std::vector<std::string>{safe.parts.back()} : safe.parts;
    std::string error;
    bool link = false;
    fileDir_ = tree_.openFolder(parts, parts.size() - 1, true, error, link);
    if (!fileDir_.valid()) return link ? RAR_UNSAFE_NAME : RAR_ECREATE;
  }
  struct stat st {};
  if (::fstatat(fileDir_.get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(st.st_mode)) return RAR_ECREATE;  // a folder of that name is in the way
    if (options_ & RAR_OPT_KEEP_EXISTING) return RAR_EXISTS;
    replace = true;
  }
  return RAR_SUCCESS;
}

int EntryOutput::makeFolder(const RarEntry& e) {
  if (options_ & RAR_OPT_NO_PATHS) return RAR_SUCCESS;
  if (!exactName_.empty() || !treeOpen_) return RAR_ECREATE;
  zipcore::SafeName safe = zipcore::checkEntryName(e.name);
  if (!safe.ok()) return RAR_UNSAFE_NAME;
  std::string error;
  bool link = false;
  UniqueFd fd = tree_.openFolder(safe.parts, safe.parts.size(), true, error, link);
  if (!fd.valid()) return link ? RAR_UNSAFE_NAME : RAR_ECREATE;
  tree_.rememberFolder(safe.parts, modeFor(e, true), e.mtime);
  return RAR_SUCCESS;
}

int EntryOutput::openFile(const RarEntry& e) {
  discardFile();
  if (int r = place(e, fileParts_, fileReplace_)) return r;
  if (!file_.create(fileDir_.get(), modeFor(e, false) | 0200)) return RAR_ECREATE;  // writable until published
  return RAR_SUCCESS;
}

int EntryOutput::write(const std::uint8_t* data, std::size_t size) {
  if (!file_.pending()) return RAR_EWRITE;
  if (!zipcore::writeAll(file_.fd(), data, size)) return RAR_EWRITE;
  return RAR_SUCCESS;
}

int EntryOutput::publishFile(const RarEntry& e) {
  ::fchmod(file_.fd(), modeFor(e, false));
  struct timespec times[2] = {{0, UTIME_OMIT}, {e.mtime, static_cast<long>(e.mtimeNs)}};
  ::futimens(file_.fd(), times);
  if (!file_.finish()) {
    file_.discard();
    return RAR_ECLOSE;
  }
  if (!file_.publish(fileParts_.back(), fileReplace_)) {
    int err = errno;
    file_.discard();
    return err == EEXIST ? RAR_EXISTS : RAR_ECREATE;
  }
  if (exactName_.empty()) written_[e.name] = fileParts_;
  return RAR_SUCCESS;
}

int EntryOutput::commitFile(const RarEntry& e) {
  if (!file_.pending()) return RAR_ECREATE;
  int r = publishFile(e);
  fileDir_.reset();
  return r;
}

void EntryOutput::discardFile() {
  file_.discard();
  fileDir_.reset();
}

int EntryOutput::makeLink(const RarEntry& e, const std::string& target) {
  std::vector<std::string> parts;
  bool replace = false;
  if (int r = place(e, parts, replace)) return r;
  if (target.empty() || (exactName_.empty() && !zipcore::linkTargetInside(parts, target))) return RAR_UNSAFE_NAME;
  std::string tmp;
  for (int attempt = 0; attempt < 32 && tmp.empty(); ++attempt) {
    std::string candidate = zipcore::temporaryName();
    if (::symlinkat(target.c_str(), fileDir_.get(), candidate.c_str()) == 0)
      tmp = candidate;
    else if (errno != EEXIST)
      break;
  }
  if (tmp.empty()) return RAR_ECREATE;
  struct timespec times[2] = {{0, UTIME_OMIT}, {e.mtime, static_cast<long>(e.mtimeNs)}};
  ::utimensat(fileDir_.get(), tmp.c_str(), times, AT_SYMLINK_NOFOLLOW);
  if (!zipcore::renameIntoPlace(fileDir_.get(), tmp, parts.back(), replace)) {
    int err = errno;
    ::unlinkat(fileDir_.get(), tmp.c_str(), 0);
    fileDir_.reset();
    return err == EEXIST ? RAR_EXISTS : RAR_ECREATE;
  }
  fileDir_.reset();
  return RAR_SUCCESS;
}

int EntryOutput::copyOf(const RarEntry& e, const std::string& target) {
  auto it = written_.find(target);
  if (it == written_.end()) return RAR_EOPEN;  // its source was not extracted here
  const std::vector<std::string> from = it->second;
  std::string error;
  bool link = false;
  UniqueFd dir = tree_.openFolder(from, from.size() - 1, false, error, link);
  UniqueFd src(dir.valid() ? ::openat(dir.get(), from.back().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC) : -1);
  if (!src.valid()) return RAR_EOPEN;
  if (int r = openFile(e)) return r;
  std::vector<std::uint8_t> buf(256 * 1024);
  for (;;) {
    ssize_t n = ::read(src.get(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      discardFile();
      return RAR_EREAD;
    }
    if (n == 0) break;
    if (int r = write(buf.data(), static_cast<std::size_t>(n))) {
      discardFile();
      return r;
    }
  }
  return commitFile(e);
}

}  // namespace rarlib

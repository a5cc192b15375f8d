// The target folder of an extraction, walked with openat() one name part at a
// time and O_NOFOLLOW on every step: a symbolic link, whether it was there before
// or an earlier entry made it, is never followed while writing. Every path here
// is relative to the base folder opened once at the start (the current folder,
// or a folder the caller names).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zipcore/fileio.h"

namespace zipcore {

class OutputTree {
 public:
  // Opens the current folder as the base. False with error.
  bool open(std::string& error);
  // Opens folder as the base (symbolic links in its own path are followed: the
  // caller chose it). False with error.
  bool open(const std::string& folder, std::string& error);
  int base() const { return base_.get(); }

  // Opens the folder made of the first count parts, creating missing folders
  // when create is set. Returns an owned descriptor, or an invalid one with error
  // set; linkInWay tells that a part exists as a symbolic link (or not a folder).
  UniqueFd openFolder(const std::vector<std::string>& parts, std::size_t count, bool create, std::string& error,
                      bool& linkInWay);

  // A folder entry's permissions and time, applied by finishFolders() once the
  // files inside are written (a read-only folder would refuse them otherwise).
  void rememberFolder(const std::vector<std::string>& parts, mode_t mode, std::int64_t mtime);
  void finishFolders();

  // Folders openFolder() created so far, counted; removeFoldersSince(mark)
  // removes those created after the count was mark, newest first, where they are
  // still empty and were not remembered as folder entries.
  std::size_t foldersMade() const { return made_.size(); }
  void removeFoldersSince(std::size_t mark);

 private:
  struct Folder {
    std::vector<std::string> parts;
    mode_t mode;
    std::int64_t mtime;
  };

  UniqueFd base_;
  std::string cachedPath_;  // the folder of the last call, kept open
  UniqueFd cachedFd_;
  std::vector<Folder> folders_;
  std::vector<std::vector<std::string>> made_;  // the folders created, in order
};

// A file being extracted, nameless until its data checked out: created unnamed
// in its folder where the file system can (O_TMPFILE), else under a unique
// temporary name, and given its real name by publish(). Discarded (closed and,
// when named, removed) unless published.
class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile() { discard(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates the file in folder dir (kept open by the caller until the file is
  // published or discarded) with permissions mode. False with errno set.
  bool create(int dir, mode_t mode);
  int fd() const { return fd_.get(); }
  // Flushes nothing, but reports a failing close of a named file (NFS reports
  // write errors there). False with errno set.
  bool finish();
  // Gives the file its name; without replace an existing name is left alone
  // (false, errno EEXIST). False with errno set on failure.
  bool publish(const std::string& name, bool replace);
  void discard();
  bool pending() const { return fd_.valid() || !tempName_.empty(); }

 private:
  int dir_ = -1;
  UniqueFd fd_;
  std::string tempName_;  // named temporary files only
};

// A unique temporary name for a new entry in a folder: ".kvtmp-" and random hex.
std::string temporaryName();

// Moves the finished temporary file (or link) tmp over name in dir; without
// replace an existing name is left alone (false, errno EEXIST).
bool renameIntoPlace(int dir, const std::string& tmp, const std::string& name, bool replace);

}  // namespace zipcore

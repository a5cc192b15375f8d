// The file-system work under TFileOperation and TMPDelTree, in plain POSIX: copying
// one file, link or folder entry safely, removing a tree without ever following a
// symbolic link out of it, and small name helpers. No user interface here: callers
// decide what to ask and what to show.
//
// Safety rules kept by every function:
// - a copy is written to a temporary name in the target folder and renamed into
//   place only when it is complete, so a cancelled or failed copy leaves no partial
//   target and an existing target stays untouched until the new one is whole;
// - symbolic links are never followed while walking or removing: a link is copied
//   or removed as a link.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace widgets::fileop {

enum class Outcome { Done, Cancelled, Failed };

struct Status {
  Outcome outcome = Outcome::Done;
  std::string path;  // Failed: the path that could not be handled
  int err = 0;       // Failed: errno of the failing call (0 when not a system error)
  bool ok() const { return outcome == Outcome::Done; }
  static Status failed(std::string p, int e) { return Status{Outcome::Failed, std::move(p), e}; }
  static Status cancelled() { return Status{Outcome::Cancelled, {}, 0}; }
};

// Called after every block written; `bytes` is the size of that block. Returns false
// to cancel the copy.
using ByteProgress = std::function<bool(std::uint64_t bytes)>;

struct CopyOptions {
  std::size_t blockSize = 1 << 20;
  bool replace = false;  // the target may exist and is replaced; otherwise an existing target fails (EEXIST)
  bool durable = false;  // flush the copy to disk before it takes the target's name
};

// Copies the regular file `source` to `target` (a full path whose folder exists),
// keeping the modification time and the permission bits (rwx of user, group and
// others). The copy is made under a temporary name in the target's folder.
Status copyFile(const std::string& source, const std::string& target, const CopyOptions& options,
                const ByteProgress& progress);

// Renames `from` to `to` (same file system). Without `replace` an existing `to` is
// never clobbered (fails with EEXIST), also on file systems lacking an atomic
// no-replace rename. Returns 0, or -1 with errno set.
int renamePath(const std::string& from, const std::string& to, bool replace);

// Recreates the symbolic link `source` (its text, not its target) as `target`.
Status copyLink(const std::string& source, const std::string& target, bool replace);

// Gives folder `path` the permission bits and times of `like` (a stat of the source).
void applyFolderAttributes(const std::string& path, const struct stat& like);

// Called before a non-folder entry (file, link, other) is removed, with its full path
// and its lstat. Returns false to cancel the removal.
using BeforeRemove = std::function<bool(const std::string& path, const struct stat& st)>;

// Removes the folder tree `path` depth-first. A folder lacking read, write or search
// permission for its owner is given them first (files need nothing: on this system
// their own bits do not guard their removal). Links are removed, never walked.
// `removeRoot` false empties `path` and keeps it (with its original permissions).
// Stops at the first failure or cancel. `path` itself must be a real folder, not a
// link to one (fails with ENOTDIR or ELOOP otherwise).
Status removeTree(const std::string& path, bool removeRoot, const BeforeRemove& before);

// Removes one path: a folder as a tree (removeTree), anything else with unlink.
Status removePath(const std::string& path, const BeforeRemove& before);

// The names in folder `path` (without "." and ".."), sorted bytewise; an empty list
// when the folder cannot be read.
std::vector<std::string> listFolder(const std::string& path);

// A name for `path` that does not exist yet: "name (2).ext", "name (3).ext", ...
// A leading dot does not start an extension (".profile" gives ".profile (2)").
std::string uniqueName(const std::string& path);

// True when `inner` is `outer` or lies below it (textually, on absolute paths).
bool isSameOrBelow(const std::string& inner, const std::string& outer);

}  // namespace widgets::fileop

// TMPDelTree: deletes a whole folder tree file by file, with a per-file hook that can
// stop the run, and (when Verbose) one message box per run telling what went wrong.
//
// Links inside the tree (to files or to folders) are removed as links: nothing
// outside the tree is ever walked, changed or deleted. Folders the owner cannot
// write, read or search are given those permissions before their entries are
// removed; a file's own permission bits do not guard its removal on this system.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>

namespace widgets {

// What the per-file hook learns about a file about to be deleted.
struct TSearchRec {
  std::string Name;        // the entry's name, without its folder
  std::uint64_t Size = 0;  // bytes
  std::int64_t Time = 0;   // modification time, seconds since 1970-01-01 UTC
  mode_t Attr = 0;         // type and permission bits as lstat reports them
};

class TMPDelTree;

// Called before each file (or link) is deleted; set Cancel to stop the whole run.
using TMPDelTreeEvent =
    std::function<void(TMPDelTree* Sender, const std::string& FileName, const TSearchRec& SearchRec, bool& Cancel)>;

class TMPDelTree {
 public:
  // The folder to delete. A relative path is taken from the current folder at the
  // time Execute() is called. A trailing separator is removed (and stored so) when
  // Execute() runs.
  std::string Path = "<..>";
  // Show a plain message box about a missing folder, a cancel or a failure: at most
  // one box per run.
  bool Verbose = false;
  // Remove Path itself too; false empties it and keeps the folder.
  bool DeleteRoot = true;
  TMPDelTreeEvent OnProcessFile;

  // Moves the process's current folder one level up (so it is not the folder being
  // deleted), then deletes the tree. Returns true when the tree is gone or never
  // existed; false on a failure or when OnProcessFile cancelled. A Path that is a
  // link to a folder is not walked: with DeleteRoot the link alone is removed.
  bool Execute();

 private:
  void report(const std::string& format, const std::string& argument);
  bool messageShown_ = false;
};

}  // namespace widgets

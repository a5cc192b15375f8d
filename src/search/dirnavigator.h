// TDirNavigator: walks a folder, and with Recursive every folder below it, and
// reports each regular file whose name matches a pattern.
//
// The walk works with full paths and never changes the process's working folder.
// It does not follow symbolic links to folders and skips a folder that is already
// on the way down (a bind mount of a parent), so it always ends; file systems
// mounted below the start folder are entered like any folder. A folder that
// cannot be read is counted in SkippedFolders() and the walk goes on. Folders
// whose names begin with "." (hidden folders) are not entered.
//
// Names match the pattern ("*" any run of characters, "?" one character, "*.*"
// every name) without regard to the case of ASCII letters, so "*.zip" finds
// "BACKUP.ZIP" as well.
//
// Threads: one thread; the events run on it. Abort() may be called from an event
// handler (OnIdle processes pending window events, where an Abort button's click
// runs); the walk stops at its next entry.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace search {

class TDirNavigator {
 public:
  enum class Outcome {
    Done,            // the whole tree was walked
    Aborted,         // Abort() stopped the walk
    Disabled,        // Enabled is off: nothing was walked
    StartUnreadable  // the start folder could not be read (StartError() says why)
  };

  bool Enabled = true;
  // Where to start (made absolute against the working folder of the call).
  std::string StartFolder;
  // The name pattern; empty matches nothing.
  std::string Pattern;
  // Off: the start folder alone.
  bool Recursive = true;
  // OnIdle runs when at least this many milliseconds of walking have passed
  // since it last ran (0: at every entry).
  unsigned IdleIntervalMs = 20;

  // Before and after the walk (after also when it was aborted or the start
  // folder could not be read).
  std::function<void(TDirNavigator&)> BeforeNavigate;
  std::function<void(TDirNavigator&)> AfterNavigate;
  // A folder is entered: its full path with a trailing "/".
  std::function<void(TDirNavigator&, const std::string& folder)> OnRecurse;
  // A matching regular file (symbolic links to one included): its folder (full
  // path with a trailing "/"), its name and its size in bytes.
  std::function<void(TDirNavigator&, const std::string& folder, const std::string& name, std::uint64_t size)> OnFound;
  // Runs every IdleIntervalMs while walking, so a window can show where the walk
  // is and process pending events. Unset: platform::pumpEvents().
  std::function<void(TDirNavigator&)> OnIdle;

  // Walks from StartFolder. When an earlier Abort() is still pending, only clears
  // it and returns Aborted.
  Outcome Navigate();
  // Makes the running walk stop at its next entry.
  void Abort() { aborted_ = true; }
  // Clears a pending Abort().
  void Reset() { aborted_ = false; }
  bool Aborted() const { return aborted_; }

  // Of the last walk: folders below the start that could not be read.
  std::uint64_t SkippedFolders() const { return skipped_; }
  // Of the last walk: why the start folder could not be read.
  const std::string& StartError() const { return startError_; }
  // The folder being read (full path with a trailing "/").
  const std::string& CurrentFolder() const { return current_; }

 private:
  bool walk(const std::string& folder, bool top);
  bool matches(const char* name);
  void idle();

  bool aborted_ = false;
  std::uint64_t skipped_ = 0;
  std::string startError_;
  std::string current_;
  std::string pattern_;  // Pattern in lower case
  std::string lowered_;  // buffer for a name in lower case
  std::uint64_t lastIdle_ = 0;
  std::vector<std::pair<dev_t, ino_t>> path_;  // the folders on the way down
};

}  // namespace search

// Writers of one archive take turns, and clean up after those that died.
//
// A writer holds an exclusive lock (flock) on ".NAME.kvlock" beside the archive
// NAME from the moment it reads the archive until its new copy has been renamed
// into place, so a second writer waits instead of building on a copy that is about
// to be replaced. The holder removes the lock file when it lets go; a waiter that
// then gets the lock of the removed file sees that the name no longer leads to it
// and opens the name again, so two writers never hold the lock at once.
//
// Every temporary archive (".NAME.kvtmp-" and 12 hex digits) stays locked by its
// writer for as long as it exists. One that can be locked by someone else has no
// writer left (the run was killed or crashed): the next writer of the archive
// removes it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/uniquefd.h"

namespace zipcore {

class ArchiveLock {
 public:
  enum class Outcome {
    Locked,   // held until release() or destruction
    Busy,     // another writer held it for the whole wait
    Stopped,  // poll() asked to give up
    Failed,   // the lock file cannot be made or locked (error says why)
  };

  ArchiveLock() = default;
  ~ArchiveLock() { release(); }
  ArchiveLock(const ArchiveLock&) = delete;
  ArchiveLock& operator=(const ArchiveLock&) = delete;

  // Takes the lock of the archive at archive (a path whose last part is the
  // archive's own name, not a link to it). While another writer holds it, poll()
  // is called about every 50 ms (return false to give up) for at most wait.
  // Thread-compatible: one ArchiveLock per thread.
  Outcome acquire(const std::string& archive, std::chrono::milliseconds wait, const std::function<bool()>& poll,
                  std::string& error);
  bool held() const { return fd_.valid(); }
  // Removes the lock file and lets go. Nothing happens when the lock is not held.
  void release();

 private:
  platform::UniqueFd fd_;
  std::string path_;
};

// ".NAME.kvlock" and ".NAME.kvtmp-" beside the archive (NAME cut to 200 bytes, so
// the names stay within the file system's limit).
std::string LockFileFor(const std::string& archive);
std::string TempPrefixFor(const std::string& archive);

// Creates a temporary file beside archive: exclusively, under an unpredictable
// name, mode 0600, and locked as its writer's for as long as the descriptor stays
// open. Returns an invalid descriptor (errno set) when none can be made.
platform::UniqueFd CreateLockedTemp(const std::string& archive, std::string& tempPath);

struct StaleTemp {
  std::string name;  // the file name, without its folder
  std::uint64_t size = 0;
};

// Removes the temporary files of archive whose writer is gone and returns what
// was removed. Call it only while holding the archive's lock (a writer creates
// its temporary while holding it, so none is caught between creating and locking
// its file).
std::vector<StaleTemp> RemoveStaleTemps(const std::string& archive);

}  // namespace zipcore

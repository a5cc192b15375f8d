// Writing a new archive beside the old one: a temporary file in the archive's
// folder (locked as this writer's while it exists, see zipcore/archivelock.h)
// receives the bytes in front (a self-extracting stub), the members, the
// central directory and the end records (in ZIP64 form when an offset, size or the
// entry count needs it); commit() flushes it to disk and renames it over the
// archive. Until then the old archive is untouched; a writer destroyed without
// commit() removes its temporary file.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zipcore/fileio.h"
#include "zipcore/writerecords.h"

namespace ziplibs {

using namespace zipcore;

class ArchiveWriter {
 public:
  ArchiveWriter() = default;
  ~ArchiveWriter();
  ArchiveWriter(const ArchiveWriter&) = delete;
  ArchiveWriter& operator=(const ArchiveWriter&) = delete;

  // Creates the temporary file beside archivePath. False with error.
  bool create(const std::string& archivePath, std::string& error);

  std::uint64_t position() const { return position_; }
  int fd() const { return fd_.get(); }

  // Appends bytes; false with errno set (ENOSPC for a full disk).
  bool write(const void* data, std::size_t size);
  bool write(const std::string& s) { return write(s.data(), s.size()); }
  // Overwrites bytes already written (header fields known only later).
  bool patch(std::uint64_t at, const std::string& bytes);
  // Cuts the file back to at (a member to be written again).
  bool truncate(std::uint64_t at);
  // Copies size bytes from fd at offset at; progress(bytes) is called per piece
  // and may return false to stop. False with errno set or 0 when stopped.
  template <typename Progress>
  bool copyFrom(int fd, std::uint64_t at, std::uint64_t size, Progress progress);

  void addCentral(CentralRecord record) { central_.push_back(std::move(record)); }
  const std::vector<CentralRecord>& central() const { return central_; }

  // Writes the central directory and end records with the archive comment, then
  // flushes the file to disk. False with errno set.
  bool finish(const std::string& comment);
  // Gives the file mode, renames it over the archive and flushes the folder.
  // expected is the archive as it was read: when the file there is no longer that
  // one (another program changed it), nothing is renamed. Without expected there
  // was no archive, and none may have appeared. False (nothing changed, the
  // temporary kept until destruction) when the rename is refused or fails;
  // durable() then tells whether the folder's flush succeeded too (only then is
  // the new name sure to last).
  bool commit(mode_t mode, const struct stat* expected, std::string& error);
  bool durable() const { return durable_; }
  // The archive's name still leads to the file this writer committed.
  bool inPlace() const;

 private:
  bool copyPiece(int fd, std::uint64_t at, std::size_t size);

  UniqueFd fd_;
  std::string tempPath_, targetPath_;
  std::uint64_t position_ = 0;
  std::vector<CentralRecord> central_;
  std::vector<char> buffer_;
  dev_t tempDev_ = 0;
  ino_t tempIno_ = 0;
  bool committed_ = false;
  bool durable_ = false;
};

// The same file, unchanged: device, inode, size and modification time agree.
bool sameFile(const struct stat& a, const struct stat& b);

template <typename Progress>
bool ArchiveWriter::copyFrom(int fd, std::uint64_t at, std::uint64_t size, Progress progress) {
  constexpr std::uint64_t kPiece = 1 << 20;
  while (size > 0) {
    std::size_t n = static_cast<std::size_t>(size < kPiece ? size : kPiece);
    if (!copyPiece(fd, at, n)) return false;
    at += n;
    size -= n;
    if (!progress(n)) {
      errno = 0;
      return false;
    }
  }
  return true;
}

}  // namespace ziplibs

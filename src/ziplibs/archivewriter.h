// Writing a new archive beside the old one: a temporary file in the archive's
// folder receives the bytes in front (a self-extracting stub), the members, the
// central directory and the end records (in ZIP64 form when an offset, size or the
// entry count needs it); commit() flushes it to disk and renames it over the
// archive. Until then the old archive is untouched; a writer destroyed without
// commit() removes its temporary file.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zipcore/fileio.h"

namespace ziplibs {

using namespace zipcore;

// What the central directory records about one member.
struct CentralRecord {
  std::uint16_t versionMadeBy = 0, versionNeeded = 0, flags = 0, method = 0;
  std::uint32_t dosTime = 0, crc = 0;
  std::uint64_t compressedSize = 0, uncompressedSize = 0, localOffset = 0;
  std::uint16_t internalAttr = 0;
  std::uint32_t externalAttr = 0;
  std::string name;
  std::string extra;  // without a ZIP64 field: the writer adds one when needed
  std::string comment;
};

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
  // False (nothing changed) when the rename fails; durable() then tells whether
  // the folder's flush succeeded too (only then is the new name sure to last).
  bool commit(mode_t mode, std::string& error);
  bool durable() const { return durable_; }

 private:
  bool copyPiece(int fd, std::uint64_t at, std::size_t size);

  UniqueFd fd_;
  std::string tempPath_, targetPath_;
  std::uint64_t position_ = 0;
  std::vector<CentralRecord> central_;
  std::vector<char> buffer_;
  bool committed_ = false;
  bool durable_ = false;
};

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

// Local header bytes for a new member (name and extra included). With zip64 the
// header holds a ZIP64 field first, at kLocalHeaderSize + name length.
std::string localHeaderFor(const CentralRecord& r, const std::string& localExtra, bool zip64);

// The central header's extra field with a ZIP64 field for whichever of size,
// compressed size and offset do not fit 32 bits (fields then hold 0xFFFFFFFF).
std::string centralHeaderFor(const CentralRecord& r);

}  // namespace ziplibs

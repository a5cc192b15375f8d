// The files of a RAR archive: volume names of a set, and reading a volume file
// with a small read-ahead window (header walks read many short pieces).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace rarlib {

// The volume after path in its set. New numbering: "NAME.partN.rar" gives the
// next number with at least as many digits. Old numbering: "NAME.rar" gives
// "NAME.r00", then ".r01" ... ".r99", ".s00" ... Letter case follows the name.
// Empty when the name fits neither pattern.
std::string nextVolumeName(const std::string& path, bool newNumbering);

// The first volume of the set path belongs to ("NAME.part1.rar" with the digits
// of path, or "NAME.rar"); empty when the name fits no pattern.
std::string firstVolumeName(const std::string& path, bool newNumbering);

// One volume file, open for reading.
class VolumeFile {
 public:
  VolumeFile() = default;
  ~VolumeFile();
  VolumeFile(VolumeFile&& other) noexcept;
  VolumeFile& operator=(VolumeFile&& other) noexcept;
  VolumeFile(const VolumeFile&) = delete;
  VolumeFile& operator=(const VolumeFile&) = delete;

  // Opens path (a regular file). False with errno set.
  bool open(const std::string& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  std::uint64_t size() const { return size_; }
  // Device and inode: which file this is, whatever its name.
  std::pair<std::uint64_t, std::uint64_t> identity() const { return {dev_, ino_}; }

  // Reads size bytes at offset into out; false when the file is shorter (or a
  // read fails: then error() is set).
  bool read(std::uint64_t offset, void* out, std::size_t size);
  bool failed() const { return failed_; }

 private:
  int fd_ = -1;
  std::string path_;
  std::uint64_t size_ = 0;
  std::uint64_t dev_ = 0, ino_ = 0;
  std::vector<std::uint8_t> window_;
  std::uint64_t windowStart_ = 0;
  bool failed_ = false;
};

}  // namespace rarlib

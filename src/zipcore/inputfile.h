// An archive opened for reading: positioned reads that never go beyond what the
// file held when it was opened. Reads do not move a file position, so workers on
// several threads may read through one InputFile at once. Move-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/uniquefd.h"

namespace zipcore {

class InputFile {
 public:
  // Opens path read-only; false (errno set) when it cannot be opened or is not a
  // regular file.
  bool open(const std::string& path);
  // Takes over a descriptor opened by the caller; false (and the descriptor
  // closed) when it is not a regular file.
  bool adopt(platform::UniqueFd fd);
  void close();
  bool isOpen() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }

  // Size of the file in bytes, taken when it was opened.
  std::uint64_t size() const { return size_; }

  // Reads up to n bytes at offset into buf; returns the count read, which is short
  // only at the end of the file or on a read error. Offsets past the end read 0.
  std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) const;

  // Reads exactly n bytes at offset; false when fewer are there.
  bool readExact(std::uint64_t offset, void* buf, std::size_t n) const { return readAt(offset, buf, n) == n; }
  // The same into a string, resized to n; nothing is allocated when the file
  // holds fewer bytes there.
  bool readExact(std::uint64_t offset, std::string& out, std::size_t n) const;

 private:
  platform::UniqueFd fd_;
  std::uint64_t size_ = 0;
};

}  // namespace zipcore

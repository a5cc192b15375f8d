// A ZIP archive opened for reading: positioned reads that never go beyond what the
// file holds. Closed by its destructor or close(); not copyable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class ZipInputFile {
 public:
  ZipInputFile() = default;
  ~ZipInputFile();
  ZipInputFile(const ZipInputFile&) = delete;
  ZipInputFile& operator=(const ZipInputFile&) = delete;

  // Opens path read-only; false when it cannot be opened or is not a regular file.
  bool open(const std::string& path);
  void close();
  bool isOpen() const { return fd_ >= 0; }

  // Size of the file in bytes, taken when it was opened.
  std::uint64_t size() const { return size_; }

  // Reads up to n bytes at offset into buf; returns the count read, which is short
  // only at the end of the file or on a read error. Offsets past the end read 0.
  std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) const;

  // Reads exactly n bytes at offset; false when fewer are there.
  bool readExact(std::uint64_t offset, void* buf, std::size_t n) const { return readAt(offset, buf, n) == n; }

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

// Small file helpers over the system calls: whole writes and reads, an owning
// file descriptor, and error texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ziplibs {

// Owns a file descriptor; closes it when destroyed.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1);

 private:
  int fd_ = -1;
};

// Writes all size bytes (at the file position, or at offset at). False with errno
// set when the system refuses (a full disk gives ENOSPC).
bool writeAll(int fd, const void* data, std::size_t size);
bool pwriteAll(int fd, const void* data, std::size_t size, std::uint64_t at);

// Reads up to size bytes at offset at, retrying short reads; returns the count
// read (less than size only at the end of the file) or -1 with errno set.
long long preadFull(int fd, void* data, std::size_t size, std::uint64_t at);

// "No space left on device" and the like, for errno value err.
std::string errorText(int err);

}  // namespace ziplibs

// Small file helpers over the system calls: whole writes and reads, and error
// texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cerrno>
#include <string>

#include "platform/uniquefd.h"

namespace zipcore {

using platform::UniqueFd;

// Writes all size bytes (at the file position, or at offset at). False with errno
// set when the system refuses (a full disk gives ENOSPC).
bool writeAll(int fd, const void* data, std::size_t size);
bool pwriteAll(int fd, const void* data, std::size_t size, std::uint64_t at);

// Reads up to size bytes at offset at, retrying short reads; returns the count
// read (less than size only at the end of the file) or -1 with errno set.
long long preadFull(int fd, void* data, std::size_t size, std::uint64_t at);

// How a copyRange ended.
enum class CopyEnd {
  Done,        // every byte copied
  ShortInput,  // the input ended (or could not be read) before len bytes
  WriteFailed  // the output refused a write (errno set)
};

// Copies len bytes of in, from offset at, to out at its file position: in the
// kernel where the two files allow it, else through a buffer. in's file position
// is not used or moved.
CopyEnd copyRange(int in, std::uint64_t at, int out, std::uint64_t len);

// "No space left on device" and the like, for errno value err.
std::string errorText(int err);

// Whether errno value err means the target has no room left (the disk or the
// user's quota is full).
inline bool noSpace(int err) { return err == ENOSPC || err == EDQUOT; }

}  // namespace zipcore
